// Any bytes as a QVF file: the validating open, then the frame count, every
// read layout of frames 0 and 1 and a write in every layout through a registry. Nothing may crash,
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
#include "qvf/frame_transfer.h"
#include "qvf/memory_storage.h"
#include "qvf/registry.h"
#include "qvf/validating_open.h"

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

// Reads frames 0 and 1 in every layout, into a page-aligned buffer and into
// one a byte off the sector grid (the two paths of a 4:2:2 read), then writes
// a frame in every layout: all under the entry's one lock, as the shims do.
void transferFrames(qvf::OpenFileEntry& entry) {
  (void)entry.stream->frameCount();
  for (qvf::FrameLayout layout :
       {qvf::FrameLayout::Fields422, qvf::FrameLayout::Bgra32, qvf::FrameLayout::Ycbcr444}) {
    const std::uint64_t bytes = qvf::frameBytes(entry, layout);
    if (bytes > kBufferCap) continue;
    platform::PageBuffer buffer(static_cast<std::size_t>(bytes) + 1);
    for (std::uint32_t n = 0; n < 2; ++n) {
      (void)qvf::readFrame(entry, n, layout, buffer.bytes().first(static_cast<std::size_t>(bytes)));
      (void)qvf::readFrame(entry, n, layout, buffer.bytes().subspan(1));
    }
    (void)qvf::writeFrame(entry, layout, buffer.bytes().subspan(1));
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
    if (qvf::OpenFileRegistry::Access entry = registry.access(file.path())) transferFrames(*entry);
  } catch (const EngineError&) {
  }
  return 0;
}
