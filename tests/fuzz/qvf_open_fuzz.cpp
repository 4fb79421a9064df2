// Any bytes as a QVF file: the validating open, then the frame count and
// every read layout of frames 0 and 1 through a registry. Nothing may crash,
// leak, or read or write outside its buffers.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/error.h"
#include "platform/memory.h"
#include "qvf/reader.h"
#include "qvf/registry.h"

namespace {

using namespace corvane;

// Buffers above this are not worth allocating for one input.
constexpr std::uint64_t kBufferCap = 64u << 20;

// One scratch file per process, removed at exit.
class ScratchFile {
 public:
  ScratchFile() {
    std::random_device random;
    // A memory filesystem where there is one: on a disk every input's
    // unbuffered read would first flush the buffered write of it.
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::is_directory("/dev/shm", ec)
                                          ? std::filesystem::path("/dev/shm")
                                          : std::filesystem::temp_directory_path();
    path_ = (dir / ("corvane-fuzz-" + std::to_string(random()) + ".qvf")).string();
  }
  ~ScratchFile() {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

const std::string& scratchPath() {
  static const ScratchFile file;
  return file.path();
}

// Bytes readFrame422 may write: field 0's chunk at 0, field 1's at field bytes.
std::uint64_t bytes422(qvf::OpenFileEntry& entry) {
  const std::uint64_t first = entry.stream->video(0)->chunkSize;
  const std::uint64_t second = std::uint64_t{entry.fieldBytes} + entry.stream->video(1)->chunkSize;
  return std::max(first, second);
}

void readFrames(qvf::OpenFileRegistry& registry, const char* path) {
  (void)qvf::frameCount(registry, path);
  const auto geometry = qvf::frameGeometry(registry, path);
  if (!geometry) return;
  std::uint64_t need422 = 0;
  {
    qvf::OpenFileRegistry::Access entry = registry.access(path);
    if (!entry) return;
    need422 = bytes422(*entry);
  }
  const std::uint64_t need4 = std::uint64_t{geometry->width} * geometry->linesPerField * 2 * 4;
  for (std::uint32_t n = 0; n < 2; ++n) {
    if (need422 <= kBufferCap) {
      platform::PageBuffer frame(static_cast<std::size_t>(need422));
      (void)qvf::readFrame422(registry, path, n, frame.data());
    }
    if (need4 <= kBufferCap) {
      std::vector<std::uint8_t> frame(static_cast<std::size_t>(need4));
      (void)qvf::readFrameBgra(registry, path, n, frame.data());
      (void)qvf::readFrame444(registry, path, n, frame.data());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = scratchPath();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  try {
    (void)qvf::openQvfStream(path.c_str());
  } catch (const EngineError&) {
    // Refusing damaged input is the expected outcome.
  }
  try {
    qvf::OpenFileRegistry registry;
    readFrames(registry, path.c_str());
  } catch (const EngineError&) {
  }
  return 0;
}
