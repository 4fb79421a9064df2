// A Storage that passes everything to another one and injects the faults a
// disk can have, for tests of whatever writes or reads QVF files. Every fault
// is armed by a call and fires exactly as described; nothing fires unasked.
// Safe for concurrent use; faults count across every file it opened.
//
// Transfers are the reads and writes of frame files: read, readScatter,
// readScatterAt (the read-ahead) and writeGather (write included), one per call, numbered in the
// order they start. Header files (the writer's create, the validating open's
// header reads, recognition) make no transfers in that count.
#pragma once

#include <cstdint>
#include <memory>

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
  // Every transfer from now first sleeps this long on the clock (0: none),
  // on the thread that makes it: the read-ahead's helper thread too.
  void delayTransfers(std::uint32_t milliseconds);
  // The next close of a frame file releases it as usual but reports failure.
  void failNextFrameClose();
  // The next close of a header file releases it (what was written stays
  // written) but reports failure, as a failing flush does.
  void failNextHeaderClose();
  // The next n opens of frame files (header files) fail as a refused open.
  void refuseFrameOpens(std::uint32_t n);
  void refuseHeaderOpens(std::uint32_t n);

  struct Plan;  // the armed faults, shared with the files opened

 private:
  Storage& inner_;
  std::shared_ptr<Plan> plan_;
};

}  // namespace corvane::qvf
