#include "qvf/disk_storage.h"

#include <cstdio>
#include <limits>
#include <utility>

namespace corvane::qvf {
namespace {

class DiskFrameFile final : public FrameFile {
 public:
  explicit DiskFrameFile(platform::StreamHandle handle) : handle_(std::move(handle)) {}

  StreamOpenAttempt attempt() const override { return handle_.attempt(); }
  bool seek(std::uint64_t position) override { return handle_.seek(position); }
  Transfer read(std::span<std::uint8_t> buffer) override { return handle_.read(buffer); }
  Transfer readScatter(std::span<const std::span<std::uint8_t>> buffers) override {
    return handle_.readScatter(buffers);
  }
  Transfer readScatterAt(std::uint64_t position,
                         std::span<const std::span<std::uint8_t>> buffers) const override {
    return handle_.readScatterAt(position, buffers);
  }
  Transfer writeGather(std::span<const std::span<const std::uint8_t>> buffers) override {
    return handle_.writeGather(buffers);
  }
  std::optional<std::uint64_t> size() const override { return handle_.size(); }
  bool close() override { return handle_.close(); }

 private:
  platform::StreamHandle handle_;
};

class DiskHeaderFile final : public HeaderFile {
 public:
  explicit DiskHeaderFile(platform::BufferedFile file) : file_(std::move(file)) {}

  std::size_t read(std::span<std::uint8_t> bytes) override {
    return std::fread(bytes.data(), 1, bytes.size(), file_.get());
  }
  bool write(std::span<const std::uint8_t> bytes) override {
    return std::fwrite(bytes.data(), bytes.size(), 1, file_.get()) == 1;
  }
  bool seek(std::uint64_t position) override {
    if (position > static_cast<std::uint64_t>(std::numeric_limits<long>::max())) return false;
    return std::fseek(file_.get(), static_cast<long>(position), SEEK_SET) == 0;
  }
  bool close() override { return file_.close(); }

 private:
  platform::BufferedFile file_;
};

constexpr const char* fopenMode(HeaderMode mode) {
  switch (mode) {
    case HeaderMode::Read:
      return "rb";
    case HeaderMode::ReadWrite:
      return "r+b";
    case HeaderMode::Create:
      return "wb";
  }
  return "rb";
}

}  // namespace

std::unique_ptr<FrameFile> DiskStorage::openFrameFile(const char* path) {
  platform::StreamHandle handle = platform::StreamHandle::open(path);
  if (!handle.isOpen()) return nullptr;
  return std::make_unique<DiskFrameFile>(std::move(handle));
}

std::unique_ptr<HeaderFile> DiskStorage::openHeaderFile(const char* path, HeaderMode mode) {
  platform::BufferedFile file = platform::BufferedFile::open(path, fopenMode(mode));
  if (!file) return nullptr;
  return std::make_unique<DiskHeaderFile>(std::move(file));
}

Storage& diskStorage() {
  static DiskStorage storage;
  return storage;
}

}  // namespace corvane::qvf
