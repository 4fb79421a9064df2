#include "qvf/faulty_storage.h"

#include <algorithm>
#include <array>
#include <map>
#include <mutex>
#include <utility>

namespace corvane::qvf {

struct FaultyStorage::Plan {
  explicit Plan(platform::Clock& clock_) : clock(clock_) {}

  // What one transfer does.
  struct Transfer {
    bool fail = false;
    std::size_t maxBytes = ~std::size_t{0};
    std::uint32_t delayMs = 0;
  };

  Transfer next() {
    std::lock_guard<std::mutex> guard(lock);
    Transfer transfer;
    const auto found = planned.find(++transfers);
    if (found != planned.end()) {
      transfer = found->second;
      planned.erase(found);
    }
    transfer.delayMs = delayMs;
    return transfer;
  }

  // How many of want bytes a write may move now; counts them as written.
  std::size_t admitWrite(std::size_t want) {
    std::lock_guard<std::mutex> guard(lock);
    if (!diskLimited) return want;
    const std::size_t allowed = static_cast<std::size_t>(std::min<std::uint64_t>(want, diskLeft));
    diskLeft -= allowed;
    return allowed;
  }

  bool takeCloseFailure(bool frame) {
    std::lock_guard<std::mutex> guard(lock);
    return std::exchange(frame ? failFrameClose : failHeaderClose, false);
  }

  bool takeOpenRefusal(bool frame) {
    std::lock_guard<std::mutex> guard(lock);
    std::uint32_t& left = frame ? refuseFrameOpens : refuseHeaderOpens;
    if (left == 0) return false;
    --left;
    return true;
  }

  platform::Clock& clock;
  std::mutex lock;
  // Everything below is guarded by lock.
  std::uint64_t transfers = 0;
  std::map<std::uint64_t, Transfer> planned;  // by absolute transfer number
  bool diskLimited = false;
  std::uint64_t diskLeft = 0;
  std::uint32_t delayMs = 0;
  bool failFrameClose = false;
  bool failHeaderClose = false;
  std::uint32_t refuseFrameOpens = 0;
  std::uint32_t refuseHeaderOpens = 0;
};

namespace {

using Plan = FaultyStorage::Plan;

// The buffers cut to at most maxBytes in all; the number of buffers kept.
template <class Byte>
std::size_t cut(std::span<const std::span<Byte>> buffers, std::size_t maxBytes,
                std::array<std::span<Byte>, platform::StreamHandle::kMaxScatterBuffers>& out) {
  std::size_t kept = 0;
  for (std::span<Byte> buffer : buffers) {
    if (kept == out.size()) break;
    const std::size_t take = std::min(buffer.size(), maxBytes);
    out[kept++] = buffer.first(take);
    maxBytes -= take;
  }
  return kept;
}

class FaultyFrameFile final : public FrameFile {
 public:
  FaultyFrameFile(std::shared_ptr<Plan> plan, std::unique_ptr<FrameFile> inner)
      : plan_(std::move(plan)), inner_(std::move(inner)) {}

  StreamOpenAttempt attempt() const override { return inner_->attempt(); }
  bool seek(std::uint64_t position) override { return inner_->seek(position); }

  Transfer read(std::span<std::uint8_t> buffer) override {
    const Plan::Transfer plan = begin();
    if (plan.fail) return {};
    return inner_->read(buffer.first(std::min(buffer.size(), plan.maxBytes)));
  }

  Transfer readScatter(std::span<const std::span<std::uint8_t>> buffers) override {
    const Plan::Transfer plan = begin();
    if (plan.fail) return {};
    std::array<std::span<std::uint8_t>, platform::StreamHandle::kMaxScatterBuffers> kept;
    if (buffers.size() > kept.size()) return inner_->readScatter(buffers);  // refused there
    return inner_->readScatter(std::span(kept.data(), cut(buffers, plan.maxBytes, kept)));
  }

  Transfer readScatterAt(std::uint64_t position,
                         std::span<const std::span<std::uint8_t>> buffers) const override {
    const Plan::Transfer plan = begin();
    if (plan.fail) return {};
    std::array<std::span<std::uint8_t>, platform::StreamHandle::kMaxScatterBuffers> kept;
    if (buffers.size() > kept.size()) return inner_->readScatterAt(position, buffers);
    return inner_->readScatterAt(position, std::span(kept.data(), cut(buffers, plan.maxBytes, kept)));
  }

  Transfer writeGather(std::span<const std::span<const std::uint8_t>> buffers) override {
    const Plan::Transfer plan = begin();
    if (plan.fail) return {};
    std::size_t total = 0;
    for (std::span<const std::uint8_t> buffer : buffers) total += buffer.size();
    const std::size_t want = std::min(total, plan.maxBytes);
    const std::size_t allowed = plan_->admitWrite(want);
    std::array<std::span<const std::uint8_t>, platform::StreamHandle::kMaxScatterBuffers> kept;
    if (buffers.size() > kept.size()) return inner_->writeGather(buffers);  // refused there
    Transfer moved = inner_->writeGather(std::span(kept.data(), cut(buffers, allowed, kept)));
    if (allowed < want) moved.ok = false;
    return moved;
  }

  std::optional<std::uint64_t> size() const override { return inner_->size(); }
  bool close() override {
    const bool closed = inner_->close();
    return !plan_->takeCloseFailure(true) && closed;
  }

 private:
  Plan::Transfer begin() const {
    const Plan::Transfer plan = plan_->next();
    if (plan.delayMs != 0) plan_->clock.sleepMilliseconds(plan.delayMs);
    return plan;
  }

  std::shared_ptr<Plan> plan_;
  std::unique_ptr<FrameFile> inner_;
};

class FaultyHeaderFile final : public HeaderFile {
 public:
  FaultyHeaderFile(std::shared_ptr<Plan> plan, std::unique_ptr<HeaderFile> inner)
      : plan_(std::move(plan)), inner_(std::move(inner)) {}

  std::size_t read(std::span<std::uint8_t> bytes) override { return inner_->read(bytes); }
  bool write(std::span<const std::uint8_t> bytes) override {
    const std::size_t allowed = plan_->admitWrite(bytes.size());
    return inner_->write(bytes.first(allowed)) && allowed == bytes.size();
  }
  bool seek(std::uint64_t position) override { return inner_->seek(position); }
  bool close() override {
    const bool closed = inner_->close();
    return !plan_->takeCloseFailure(false) && closed;
  }

 private:
  std::shared_ptr<Plan> plan_;
  std::unique_ptr<HeaderFile> inner_;
};

}  // namespace

FaultyStorage::FaultyStorage(Storage& inner, platform::Clock& clock)
    : inner_(inner), plan_(std::make_shared<Plan>(clock)) {}

std::unique_ptr<FrameFile> FaultyStorage::openFrameFile(const char* path) {
  if (plan_->takeOpenRefusal(true)) return nullptr;
  std::unique_ptr<FrameFile> file = inner_.openFrameFile(path);
  if (!file) return nullptr;
  return std::make_unique<FaultyFrameFile>(plan_, std::move(file));
}

std::unique_ptr<HeaderFile> FaultyStorage::openHeaderFile(const char* path, HeaderMode mode) {
  if (plan_->takeOpenRefusal(false)) return nullptr;
  std::unique_ptr<HeaderFile> file = inner_.openHeaderFile(path, mode);
  if (!file) return nullptr;
  return std::make_unique<FaultyHeaderFile>(plan_, std::move(file));
}

std::uint64_t FaultyStorage::transferCount() const {
  std::lock_guard<std::mutex> guard(plan_->lock);
  return plan_->transfers;
}

void FaultyStorage::failTransfer(std::uint64_t n) {
  std::lock_guard<std::mutex> guard(plan_->lock);
  plan_->planned[plan_->transfers + n].fail = true;
}

void FaultyStorage::shortenTransfer(std::uint64_t n, std::size_t maxBytes) {
  std::lock_guard<std::mutex> guard(plan_->lock);
  plan_->planned[plan_->transfers + n].maxBytes = maxBytes;
}

void FaultyStorage::fillDiskAfter(std::uint64_t bytes) {
  std::lock_guard<std::mutex> guard(plan_->lock);
  plan_->diskLimited = true;
  plan_->diskLeft = bytes;
}

void FaultyStorage::delayTransfers(std::uint32_t milliseconds) {
  std::lock_guard<std::mutex> guard(plan_->lock);
  plan_->delayMs = milliseconds;
}

void FaultyStorage::failNextFrameClose() {
  std::lock_guard<std::mutex> guard(plan_->lock);
  plan_->failFrameClose = true;
}

void FaultyStorage::failNextHeaderClose() {
  std::lock_guard<std::mutex> guard(plan_->lock);
  plan_->failHeaderClose = true;
}

void FaultyStorage::refuseFrameOpens(std::uint32_t n) {
  std::lock_guard<std::mutex> guard(plan_->lock);
  plan_->refuseFrameOpens = n;
}

void FaultyStorage::refuseHeaderOpens(std::uint32_t n) {
  std::lock_guard<std::mutex> guard(plan_->lock);
  plan_->refuseHeaderOpens = n;
}

}  // namespace corvane::qvf
