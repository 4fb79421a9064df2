// Any bytes as a QVF file: the validating open, then the frame count and
// every read layout of frames 0 and 1 through a registry. Nothing may crash,
// leak, hang, or read or write outside its buffers. Files live in memory, or
// on disk under CORVANE_FUZZ_DISK_DIR.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/error.h"
#include "platform/memory.h"
#include "qvf/memory_storage.h"
#include "qvf/reader.h"
#include "qvf/registry.h"

namespace {

using namespace corvane;

// Buffers above this are not worth allocating for one input.
constexpr std::uint64_t kBufferCap = 64u << 20;

// Where each input goes. In memory by default, so the engine alone is timed;
// with CORVANE_FUZZ_DISK_DIR set, a scratch file in that directory, read back
// through the real unbuffered handle (what a memory file cannot show:
// O_DIRECT alignment, the page cache, the sharing locks). Much slower.
class FuzzFile {
 public:
  FuzzFile() {
    const char* dir = std::getenv("CORVANE_FUZZ_DISK_DIR");
    if (dir == nullptr || *dir == '\0') {
      path_ = "input.qvf";
      return;
    }
    std::random_device random;
    path_ = (std::filesystem::path(dir) / ("corvane-fuzz-" + std::to_string(random()) + ".qvf")).string();
    storage_ = &qvf::diskStorage();
  }
  ~FuzzFile() {
    std::error_code ec;
    if (storage_ != &memory_) std::filesystem::remove(path_, ec);
  }

  void put(const std::uint8_t* data, std::size_t size) {
    if (storage_ == &memory_) {
      memory_.setBytes(path_, std::span(data, size));
      return;
    }
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  qvf::Storage& storage() { return *storage_; }
  const char* path() const { return path_.c_str(); }

 private:
  qvf::MemoryStorage memory_;
  qvf::Storage* storage_ = &memory_;
  std::string path_;
};

FuzzFile& fuzzFile() {
  static FuzzFile file;
  return file;
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
  FuzzFile& file = fuzzFile();
  file.put(data, size);
  try {
    (void)qvf::openQvfStream(file.storage(), file.path());
  } catch (const EngineError&) {
    // Refusing damaged input is the expected outcome.
  }
  try {
    qvf::OpenFileRegistry registry(file.storage());
    readFrames(registry, file.path());
  } catch (const EngineError&) {
  }
  return 0;
}
