// A Storage that passes everything to another one and injects the faults a
// disk can have, for tests of whatever writes or reads QVF files. Every fault
// is armed by a call and fires exactly as described; nothing fires unasked.
// Safe for concurrent use; faults count across every file it opened.
//
// Transfers are the reads and writes of frame files: read, readScatter,
// readScatterAt (the read-ahead) and write, one per call, numbered in the
// order they start. Header files (the writer's create, the validating open's
// header reads, recognition) make no transfers in that count.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>

#include "platform/clock.h"
#include "qvf/file_io.h"

namespace corvane::qvf {

class FaultyStorage final : public Storage {
 public:
  // Delays sleep on clock, so a fake clock makes them cost nothing.
  explicit FaultyStorage(Storage& inner, platform::Clock& clock = platform::systemClock());

  std::unique_ptr<FrameFile> openFrameFile(const char* path) override;
  std::unique_ptr<HeaderFile> openHeaderFile(const char* path, HeaderMode mode) override;

  // Transfers made so far.
  std::uint64_t transferCount() const;

  // The n-th transfer from now (1: the next) moves nothing and reports an
  // error, as a failed read or write system call does. The file position
  // stays where it was.
  void failTransfer(std::uint64_t n);
  // The n-th transfer from now moves at most maxBytes bytes and reports no
  // error, as a read at the end of the file or an interrupted write does.
  void shortenTransfer(std::uint64_t n, std::size_t maxBytes);
  // From now on the writes of frame and header files together may move at
  // most bytes more bytes: a write that would go past the limit moves what
  // still fits and reports an error (the full disk); once the limit is
  // reached every write moves nothing and reports an error. Reads are not
  // affected.
  void fillDiskAfter(std::uint64_t bytes);
  // Every transfer from now first sleeps this long on the clock (0: none).
  void delayTransfers(std::uint32_t milliseconds);
  // The next close of a frame file releases it as usual but reports failure.
  void failNextFrameClose();
  // The next close of a header file releases it (what was written stays
  // written) but reports failure, as a failing flush does.
  void failNextHeaderClose();
  // The next n opens of frame files (header files) fail as a refused open.
  void refuseFrameOpens(std::uint32_t n);
  void refuseHeaderOpens(std::uint32_t n);

  // Used by the files this storage opened.
  struct Plan {
    bool fail = false;
    std::size_t maxBytes = ~std::size_t{0};
    std::uint32_t delayMs = 0;
  };
  Plan nextTransfer();
  // How many of want bytes a write may move now; counts them as written.
  std::size_t admitWrite(std::size_t want);
  bool takeCloseFailure(bool frame);
  void sleep(std::uint32_t milliseconds) { clock_.sleepMilliseconds(milliseconds); }

 private:
  Storage& inner_;
  platform::Clock& clock_;
  mutable std::mutex lock_;
  // Everything below is guarded by lock_.
  std::uint64_t transfers_ = 0;
  std::map<std::uint64_t, Plan> planned_;  // by absolute transfer number
  bool diskLimited_ = false;
  std::uint64_t diskLeft_ = 0;
  std::uint32_t delayMs_ = 0;
  bool failFrameClose_ = false;
  bool failHeaderClose_ = false;
  std::uint32_t refuseFrameOpens_ = 0;
  std::uint32_t refuseHeaderOpens_ = 0;
};

}  // namespace corvane::qvf
