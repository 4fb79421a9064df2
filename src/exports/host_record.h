// A view of one host record: little-endian fields at fixed offsets, texts in
// fixed arrays, and 32-bit address fields. Only the export shims use it.
//
// Every access is checked against the record's known extent, so a wrong
// offset in a shim fails loudly instead of writing past the host's record.
// A null record address is refused with HostRecordError, which the export
// guard reports like any other unexpected failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string_view>

namespace corvane::exports {

class HostRecordError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// A word the host expects to find with a fixed value; what it reads in it is
// the host's own business.
struct FixedWord {
  std::size_t offset;
  std::uint32_t value;
};

class HostRecord {
 public:
  // extent: the bytes the shim may touch (the record's minimum size).
  HostRecord(void* address, std::size_t extent);

  std::uint32_t u32(std::size_t offset) const;
  void setU32(std::size_t offset, std::uint32_t value);
  std::int32_t i32(std::size_t offset) const { return static_cast<std::int32_t>(u32(offset)); }

  // Address fields are 32 bits wide in the host's records.
  void* address(std::size_t offset) const;
  void setAddress(std::size_t offset, const void* value);

  // The text up to its terminator, or all capacity bytes when there is none.
  std::string_view text(std::size_t offset, std::size_t capacity) const;
  // Copies text and its terminator; the bytes behind the terminator keep what
  // the host had there. Text longer than capacity - 1 is cut.
  void setText(std::size_t offset, std::size_t capacity, std::string_view text);

  std::uint8_t* bytes(std::size_t offset, std::size_t count);

  // Reads and rewrites the first and last byte of the extent, so that a
  // record the host cannot lend whole faults here, before the caller takes
  // any lock (a fault inside a guarded body abandons the locks it holds).
  // The extent spans at most two pages.
  void probeWritable();

  void setFixedWords(std::span<const FixedWord> words) {
    for (const FixedWord& word : words) setU32(word.offset, word.value);
  }

 private:
  void check(std::size_t offset, std::size_t count) const;
  std::uint8_t* base_;
  std::size_t extent_;
};

// The size word that opens most host records, read before anything else.
std::uint32_t recordSize(const void* address);

}  // namespace corvane::exports
