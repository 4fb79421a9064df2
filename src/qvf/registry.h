// OpenFileRegistry: the process-wide table of up to eight open QVF files,
// keyed by path (byte for byte, case-sensitive). A miss evicts the entry in
// slot rand() & 7. Lock order: the registry lock, then an entry lock; the
// registry lock is released before any frame transfer.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "qvf/file_io.h"
#include "qvf/stream.h"

namespace corvane::qvf {

struct OpenFileEntry {
  std::string fileName;
  std::recursive_mutex lock;
  std::unique_ptr<QvfStream> stream;  // guarded by lock
  std::uint32_t fieldBytes = 0;       // width x lines x 2
  std::uint32_t width = 0;
  std::uint32_t lines = 0;
  std::uint32_t frameCounter = 0;  // next frame to write; guarded by lock
};

class OpenFileRegistry {
 public:
  static constexpr std::size_t kSlots = 8;

  // Files are opened from storage, which must outlive the registry.
  explicit OpenFileRegistry(Storage& storage = diskStorage());
  // Closes every open file; errors of the closes are swallowed at this point.
  ~OpenFileRegistry();
  OpenFileRegistry(const OpenFileRegistry&) = delete;
  OpenFileRegistry& operator=(const OpenFileRegistry&) = delete;

  // The access protocol: the returned entry is locked and the registry lock is
  // already released; nullptr when the file cannot be opened.
  class Access {
   public:
    Access() = default;
    explicit Access(OpenFileEntry* entry) : entry_(entry), lock_(entry->lock, std::adopt_lock) {}
    OpenFileEntry* operator->() const { return entry_; }
    OpenFileEntry& operator*() const { return *entry_; }
    explicit operator bool() const { return entry_ != nullptr; }

   private:
    OpenFileEntry* entry_ = nullptr;
    std::unique_lock<std::recursive_mutex> lock_;
  };
  Access access(const char* path);

  // Closes the entry of that name. True for a null path; false when no entry
  // has the name. A failed close throws EngineError with the slot emptied.
  bool closeByName(const char* path);

  // True once when a frame of path written behind failed and its entry was
  // closed (by name, by an eviction or by a reader's close) before any frame
  // call reported it; a later open of path carries the failure to its next
  // frame call instead. A writer's close asks after closeByName; a new file
  // of the name asks to drop the old file's failure.
  bool takeClosedWriteFailure(const char* path);

  // Number of occupied slots, for tests and the dump tool.
  std::size_t openCount();

 private:
  OpenFileEntry* lookupOrOpen(const char* path);  // registry lock held
  // Waits for the entry's lock, closes its stream and empties the slot. A
  // failed close throws EngineError after both are done. Registry lock held.
  void closeSlot(std::size_t k);
  // Removes path from closedWriteFailures_; true when it was there.
  bool forgetClosedWriteFailure(const std::string& path);  // registry lock held
  // Adds path, dropping the oldest beyond kSlots. Registry lock held.
  void rememberClosedWriteFailure(const std::string& path) noexcept;
  Storage& storage_;
  std::recursive_mutex lock_;
  std::array<std::unique_ptr<OpenFileEntry>, kSlots> slots_;  // guarded by lock_
  // Paths whose closed entry had an unreported write failure, oldest first;
  // at most kSlots of them. Guarded by lock_.
  std::vector<std::string> closedWriteFailures_;
};

}  // namespace corvane::qvf
