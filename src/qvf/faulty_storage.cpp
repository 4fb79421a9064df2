#include "qvf/faulty_storage.h"

#include <algorithm>
#include <array>
#include <utility>

namespace corvane::qvf {
namespace {

// The buffers cut to at most maxBytes in all; the number of buffers kept.
std::size_t cut(std::span<const std::span<std::uint8_t>> buffers, std::size_t maxBytes,
                std::array<std::span<std::uint8_t>, platform::StreamHandle::kMaxScatterBuffers>& out) {
  std::size_t kept = 0;
  for (std::span<std::uint8_t> buffer : buffers) {
    if (kept == out.size()) break;
    const std::size_t take = std::min(buffer.size(), maxBytes);
    out[kept++] = buffer.first(take);
    maxBytes -= take;
  }
  return kept;
}

class FaultyFrameFile final : public FrameFile {
 public:
  FaultyFrameFile(FaultyStorage& storage, std::unique_ptr<FrameFile> inner)
      : storage_(storage), inner_(std::move(inner)) {}

  StreamOpenAttempt attempt() const override { return inner_->attempt(); }
  bool seek(std::uint64_t position) override { return inner_->seek(position); }

  Transfer read(std::span<std::uint8_t> buffer) override {
    const FaultyStorage::Plan plan = begin();
    if (plan.fail) return {};
    return inner_->read(buffer.first(std::min(buffer.size(), plan.maxBytes)));
  }

  Transfer readScatter(std::span<const std::span<std::uint8_t>> buffers) override {
    const FaultyStorage::Plan plan = begin();
    if (plan.fail) return {};
    std::array<std::span<std::uint8_t>, platform::StreamHandle::kMaxScatterBuffers> kept;
    if (buffers.size() > kept.size()) return inner_->readScatter(buffers);  // refused there
    return inner_->readScatter(std::span(kept.data(), cut(buffers, plan.maxBytes, kept)));
  }

  Transfer readScatterAt(std::uint64_t position,
                         std::span<const std::span<std::uint8_t>> buffers) const override {
    const FaultyStorage::Plan plan = begin();
    if (plan.fail) return {};
    std::array<std::span<std::uint8_t>, platform::StreamHandle::kMaxScatterBuffers> kept;
    if (buffers.size() > kept.size()) return inner_->readScatterAt(position, buffers);
    return inner_->readScatterAt(position, std::span(kept.data(), cut(buffers, plan.maxBytes, kept)));
  }

  Transfer write(std::span<const std::uint8_t> buffer) override {
    const FaultyStorage::Plan plan = begin();
    if (plan.fail) return {};
    const std::size_t want = std::min(buffer.size(), plan.maxBytes);
    const std::size_t allowed = storage_.admitWrite(want);
    Transfer moved = inner_->write(buffer.first(allowed));
    if (allowed < want) moved.ok = false;
    return moved;
  }

  std::optional<std::uint64_t> size() const override { return inner_->size(); }
  bool close() override {
    const bool closed = inner_->close();
    return !storage_.takeCloseFailure(true) && closed;
  }

 private:
  FaultyStorage::Plan begin() const {
    const FaultyStorage::Plan plan = storage_.nextTransfer();
    if (plan.delayMs != 0) storage_.sleep(plan.delayMs);
    return plan;
  }

  FaultyStorage& storage_;
  std::unique_ptr<FrameFile> inner_;
};

class FaultyHeaderFile final : public HeaderFile {
 public:
  FaultyHeaderFile(FaultyStorage& storage, std::unique_ptr<HeaderFile> inner)
      : storage_(storage), inner_(std::move(inner)) {}

  std::size_t read(std::span<std::uint8_t> bytes) override { return inner_->read(bytes); }
  bool write(std::span<const std::uint8_t> bytes) override {
    const std::size_t allowed = storage_.admitWrite(bytes.size());
    return inner_->write(bytes.first(allowed)) && allowed == bytes.size();
  }
  bool seek(std::uint64_t position) override { return inner_->seek(position); }
  bool close() override {
    const bool closed = inner_->close();
    return !storage_.takeCloseFailure(false) && closed;
  }

 private:
  FaultyStorage& storage_;
  std::unique_ptr<HeaderFile> inner_;
};

}  // namespace

FaultyStorage::FaultyStorage(Storage& inner, platform::Clock& clock) : inner_(inner), clock_(clock) {}

std::unique_ptr<FrameFile> FaultyStorage::openFrameFile(const char* path) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (refuseFrameOpens_ > 0) {
      --refuseFrameOpens_;
      return nullptr;
    }
  }
  std::unique_ptr<FrameFile> file = inner_.openFrameFile(path);
  if (!file) return nullptr;
  return std::make_unique<FaultyFrameFile>(*this, std::move(file));
}

std::unique_ptr<HeaderFile> FaultyStorage::openHeaderFile(const char* path, HeaderMode mode) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (refuseHeaderOpens_ > 0) {
      --refuseHeaderOpens_;
      return nullptr;
    }
  }
  std::unique_ptr<HeaderFile> file = inner_.openHeaderFile(path, mode);
  if (!file) return nullptr;
  return std::make_unique<FaultyHeaderFile>(*this, std::move(file));
}

std::uint64_t FaultyStorage::transferCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return transfers_;
}

void FaultyStorage::failTransfer(std::uint64_t n) {
  std::lock_guard<std::mutex> guard(lock_);
  planned_[transfers_ + n].fail = true;
}

void FaultyStorage::shortenTransfer(std::uint64_t n, std::size_t maxBytes) {
  std::lock_guard<std::mutex> guard(lock_);
  planned_[transfers_ + n].maxBytes = maxBytes;
}

void FaultyStorage::fillDiskAfter(std::uint64_t bytes) {
  std::lock_guard<std::mutex> guard(lock_);
  diskLimited_ = true;
  diskLeft_ = bytes;
}

void FaultyStorage::delayTransfers(std::uint32_t milliseconds) {
  std::lock_guard<std::mutex> guard(lock_);
  delayMs_ = milliseconds;
}

void FaultyStorage::failNextFrameClose() {
  std::lock_guard<std::mutex> guard(lock_);
  failFrameClose_ = true;
}

void FaultyStorage::failNextHeaderClose() {
  std::lock_guard<std::mutex> guard(lock_);
  failHeaderClose_ = true;
}

void FaultyStorage::refuseFrameOpens(std::uint32_t n) {
  std::lock_guard<std::mutex> guard(lock_);
  refuseFrameOpens_ = n;
}

void FaultyStorage::refuseHeaderOpens(std::uint32_t n) {
  std::lock_guard<std::mutex> guard(lock_);
  refuseHeaderOpens_ = n;
}

FaultyStorage::Plan FaultyStorage::nextTransfer() {
  std::lock_guard<std::mutex> guard(lock_);
  Plan plan;
  const auto found = planned_.find(++transfers_);
  if (found != planned_.end()) {
    plan = found->second;
    planned_.erase(found);
  }
  plan.delayMs = delayMs_;
  return plan;
}

std::size_t FaultyStorage::admitWrite(std::size_t want) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!diskLimited_) return want;
  const std::size_t allowed = static_cast<std::size_t>(std::min<std::uint64_t>(want, diskLeft_));
  diskLeft_ -= allowed;
  return allowed;
}

bool FaultyStorage::takeCloseFailure(bool frame) {
  std::lock_guard<std::mutex> guard(lock_);
  return std::exchange(frame ? failFrameClose_ : failHeaderClose_, false);
}

}  // namespace corvane::qvf
