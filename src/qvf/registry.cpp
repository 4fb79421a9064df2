#include "qvf/registry.h"

#include <algorithm>
#include <cstdlib>
#include <exception>

#include "engine/error.h"
#include "qvf/validating_open.h"

namespace corvane::qvf {

OpenFileRegistry::OpenFileRegistry(Storage& storage) : storage_(storage) {}

OpenFileRegistry::~OpenFileRegistry() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  for (std::size_t k = 0; k < kSlots; ++k) {
    try {
      if (slots_[k]) closeSlot(k);
    } catch (const EngineError&) {
      // Teardown has nobody to report to; the slot is empty all the same.
    }
  }
}

OpenFileRegistry::Access OpenFileRegistry::access(const char* path) {
  if (path == nullptr) return {};
  std::lock_guard<std::recursive_mutex> guard(lock_);
  OpenFileEntry* entry = lookupOrOpen(path);
  if (entry == nullptr) return {};
  entry->lock.lock();
  return Access(entry);  // the registry lock is released after the entry lock is held
}

bool OpenFileRegistry::closeByName(const char* path) {
  if (path == nullptr) return true;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  for (std::size_t k = 0; k < kSlots; ++k) {
    if (slots_[k] && slots_[k]->fileName == path) {
      closeSlot(k);
      return true;
    }
  }
  return false;
}

bool OpenFileRegistry::takeClosedWriteFailure(const char* path) {
  if (path == nullptr) return false;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return forgetClosedWriteFailure(path);
}

bool OpenFileRegistry::forgetClosedWriteFailure(const std::string& path) {
  const auto found = std::find(closedWriteFailures_.begin(), closedWriteFailures_.end(), path);
  if (found == closedWriteFailures_.end()) return false;
  closedWriteFailures_.erase(found);
  return true;
}

void OpenFileRegistry::rememberClosedWriteFailure(const std::string& path) noexcept {
  try {
    forgetClosedWriteFailure(path);
    if (closedWriteFailures_.size() == kSlots) closedWriteFailures_.erase(closedWriteFailures_.begin());
    closedWriteFailures_.push_back(path);
  } catch (const std::bad_alloc&) {
    // No memory to keep it in: this failure goes unreported.
  }
}

std::size_t OpenFileRegistry::openCount() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  std::size_t count = 0;
  for (const auto& slot : slots_) count += slot ? 1 : 0;
  return count;
}

OpenFileEntry* OpenFileRegistry::lookupOrOpen(const char* path) {
  for (const auto& slot : slots_)
    if (slot && slot->fileName == path) return slot.get();

  // The process's own generator, never seeded here; the pick ignores whether
  // other slots are empty.
  const std::size_t k = static_cast<std::size_t>(std::rand()) & (kSlots - 1);
  if (slots_[k]) closeSlot(k);

  std::unique_ptr<OpenFileEntry> entry;
  try {
    entry = std::make_unique<OpenFileEntry>();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  std::unique_lock<std::recursive_mutex> entryLock(entry->lock);
  try {
    try {
      entry->fileName = path;
    } catch (const std::bad_alloc&) {
      throw EngineError("Could not allocate memory for filename");
    }
    entry->stream = openQvfStream(storage_, path);
    // A file without a video pair, or whose field is empty or larger than the
    // chunks it is read from, has no frame to serve: converting it would run
    // over rows that are not there (a hostile header can claim 2^31 of them).
    const VideoStreamContext* first = entry->stream->video(0);
    const VideoStreamContext* second = entry->stream->video(1);
    if (first == nullptr || second == nullptr || first->width <= 0 || first->lines == 0) return nullptr;
    const std::uint64_t field = std::uint64_t(std::uint32_t(first->width)) * first->lines * 2;
    if (field > first->chunkSize || field > second->chunkSize) return nullptr;
    entry->width = static_cast<std::uint32_t>(first->width);
    entry->lines = first->lines;
    entry->fieldBytes = entry->width * entry->lines * 2;
    entry->frameCounter = entry->stream->frameCount();
    if (forgetClosedWriteFailure(entry->fileName)) entry->stream->noteWriteFailure();
  } catch (const std::exception&) {
    // No message of a failed open reaches the user: the file is simply not
    // open. Everything built so far is released with the entry.
    return nullptr;
  }
  entryLock.unlock();
  slots_[k] = std::move(entry);
  return slots_[k].get();
}

void OpenFileRegistry::closeSlot(std::size_t k) {
  // The slot is emptied first so that a failed close leaves the table
  // consistent; both locks are released before the error goes on.
  std::unique_ptr<OpenFileEntry> victim = std::move(slots_[k]);
  const char* failure = nullptr;
  {
    std::lock_guard<std::recursive_mutex> entryLock(victim->lock);  // waits for a running operation
    try {
      victim->stream->close();
    } catch (const EngineError& error) {
      failure = error.what();
    }
    // The close waited for a write behind; its failure waits for the writer.
    if (victim->stream->takeWriteFailure()) rememberClosedWriteFailure(victim->fileName);
    victim->stream.reset();
  }
  victim.reset();
  if (failure != nullptr) throw EngineError(failure);
}

}  // namespace corvane::qvf
