#include "qvf/memory_storage.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace corvane::qvf {

struct MemoryStorage::File {
  std::mutex lock;
  std::vector<std::uint8_t> data;  // everything below guarded by lock
  int frameWriters = 0;
  int frameReaders = 0;
  int headerWriters = 0;
  bool readOnly = false;
};

namespace {

using File = MemoryStorage::File;

// Bytes from position into the buffers in turn, stopping at the end of the
// data. The caller holds the file's lock.
std::size_t copyOut(const File& file, std::uint64_t position,
                    std::span<const std::span<std::uint8_t>> buffers) {
  std::size_t moved = 0;
  for (std::span<std::uint8_t> buffer : buffers) {
    const std::uint64_t at = position + moved;
    if (at >= file.data.size()) break;
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), file.data.size() - at));
    std::memcpy(buffer.data(), file.data.data() + at, n);
    moved += n;
    if (n < buffer.size()) break;
  }
  return moved;
}

// Writes at position, growing the data with zeros up to it; false, as on a
// full disk, past MemoryStorage::kMaxFileBytes or when the memory cannot be
// had. The caller holds the file's lock.
bool copyIn(File& file, std::uint64_t position, std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return true;  // as on disk, writing nothing past the end does not extend the file
  const std::uint64_t end = position + bytes.size();
  if (end < position || end > MemoryStorage::kMaxFileBytes) return false;
  try {
    if (end > file.data.size()) file.data.resize(static_cast<std::size_t>(end));
  } catch (const std::bad_alloc&) {
    return false;
  }
  std::copy(bytes.begin(), bytes.end(), file.data.begin() + static_cast<std::ptrdiff_t>(position));
  return true;
}

// Positions from 2^63 on are refused, as on disk.
constexpr std::uint64_t kLastPosition = std::numeric_limits<std::int64_t>::max();

class MemoryFrameFile final : public FrameFile {
 public:
  MemoryFrameFile(std::shared_ptr<File> file, StreamOpenAttempt attempt)
      : file_(std::move(file)), attempt_(attempt) {}
  ~MemoryFrameFile() override { close(); }

  StreamOpenAttempt attempt() const override { return attempt_; }

  bool seek(std::uint64_t position) override {
    if (!file_ || position > kLastPosition) return false;
    position_ = position;
    return true;
  }

  Transfer read(std::span<std::uint8_t> buffer) override {
    const std::span<std::uint8_t> one[1] = {buffer};
    return readScatter(one);
  }

  Transfer readScatter(std::span<const std::span<std::uint8_t>> buffers) override {
    const Transfer moved = readScatterAt(position_, buffers);
    position_ += moved.count;
    return moved;
  }

  Transfer readScatterAt(std::uint64_t position,
                         std::span<const std::span<std::uint8_t>> buffers) const override {
    if (!file_ || buffers.size() > platform::StreamHandle::kMaxScatterBuffers) return {};
    std::lock_guard<std::mutex> guard(file_->lock);
    return {true, copyOut(*file_, position, buffers)};
  }

  Transfer writeGather(std::span<const std::span<const std::uint8_t>> buffers) override {
    if (!file_ || !writable() || buffers.size() > platform::StreamHandle::kMaxScatterBuffers) return {};
    std::lock_guard<std::mutex> guard(file_->lock);
    Transfer moved{true, 0};
    for (std::span<const std::uint8_t> buffer : buffers) {
      if (!copyIn(*file_, position_, buffer)) return {false, moved.count};
      position_ += buffer.size();
      moved.count += buffer.size();
    }
    return moved;
  }

  std::optional<std::uint64_t> size() const override {
    if (!file_) return std::nullopt;
    std::lock_guard<std::mutex> guard(file_->lock);
    return file_->data.size();
  }

  bool close() override {
    if (!file_) return true;
    {
      std::lock_guard<std::mutex> guard(file_->lock);
      --(writable() ? file_->frameWriters : file_->frameReaders);
    }
    file_.reset();
    return true;
  }

 private:
  std::shared_ptr<File> file_;
  StreamOpenAttempt attempt_;
  std::uint64_t position_ = 0;
};

class MemoryHeaderFile final : public HeaderFile {
 public:
  MemoryHeaderFile(std::shared_ptr<File> file, bool writer) : file_(std::move(file)), writer_(writer) {}
  ~MemoryHeaderFile() override { close(); }

  std::size_t read(std::span<std::uint8_t> bytes) override {
    if (!file_) return 0;
    std::lock_guard<std::mutex> guard(file_->lock);
    const std::span<std::uint8_t> one[1] = {bytes};
    const std::size_t moved = copyOut(*file_, position_, one);
    position_ += moved;
    return moved;
  }

  bool write(std::span<const std::uint8_t> bytes) override {
    if (!file_ || !writer_) return false;
    std::lock_guard<std::mutex> guard(file_->lock);
    if (!copyIn(*file_, position_, bytes)) return false;
    position_ += bytes.size();
    return true;
  }

  bool seek(std::uint64_t position) override {
    if (!file_ || position > kLastPosition) return false;
    position_ = position;
    return true;
  }

  bool close() override {
    if (!file_) return true;
    if (writer_) {
      std::lock_guard<std::mutex> guard(file_->lock);
      --file_->headerWriters;
    }
    file_.reset();
    return true;
  }

 private:
  std::shared_ptr<File> file_;
  bool writer_;
  std::uint64_t position_ = 0;
};

}  // namespace

MemoryStorage::MemoryStorage() = default;
MemoryStorage::~MemoryStorage() = default;

std::shared_ptr<MemoryStorage::File> MemoryStorage::find(const std::string& path, bool create) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto found = files_.find(path);
  if (found != files_.end()) return found->second;
  if (!create) return nullptr;
  return files_.emplace(path, std::make_shared<File>()).first->second;
}

std::unique_ptr<FrameFile> MemoryStorage::openFrameFile(const char* path) {
  if (path == nullptr) return nullptr;
  const std::shared_ptr<File> file = find(path, true);
  std::lock_guard<std::mutex> guard(file->lock);
  if (file->frameWriters > 0 || file->headerWriters > 0) return nullptr;
  if (!file->readOnly && file->frameReaders == 0) {
    ++file->frameWriters;
    return std::make_unique<MemoryFrameFile>(file, StreamOpenAttempt::ReadWriteUnbuffered);
  }
  ++file->frameReaders;
  return std::make_unique<MemoryFrameFile>(file, StreamOpenAttempt::ReadOnlyUnbuffered);
}

std::unique_ptr<HeaderFile> MemoryStorage::openHeaderFile(const char* path, HeaderMode mode) {
  if (path == nullptr) return nullptr;
  const std::shared_ptr<File> file = find(path, mode == HeaderMode::Create);
  if (!file) return nullptr;
  std::lock_guard<std::mutex> guard(file->lock);
  if (mode == HeaderMode::Read) return std::make_unique<MemoryHeaderFile>(file, false);
  if (file->readOnly || file->frameWriters > 0 || file->frameReaders > 0) return nullptr;
  if (mode == HeaderMode::Create) file->data.clear();
  ++file->headerWriters;
  return std::make_unique<MemoryHeaderFile>(file, true);
}

void MemoryStorage::setBytes(const std::string& path, std::span<const std::uint8_t> bytes) {
  const std::shared_ptr<File> file = find(path, true);
  std::lock_guard<std::mutex> guard(file->lock);
  file->data.assign(bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> MemoryStorage::bytes(const std::string& path) const {
  std::shared_ptr<File> file;
  {
    std::lock_guard<std::mutex> guard(lock_);
    const auto found = files_.find(path);
    if (found == files_.end()) return {};
    file = found->second;
  }
  std::lock_guard<std::mutex> guard(file->lock);
  return file->data;
}

void MemoryStorage::setReadOnly(const std::string& path, bool readOnly) {
  const std::shared_ptr<File> file = find(path, true);
  std::lock_guard<std::mutex> guard(file->lock);
  file->readOnly = readOnly;
}

}  // namespace corvane::qvf
