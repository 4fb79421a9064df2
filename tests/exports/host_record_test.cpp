// The host-record view's bounds: a field that ends exactly at the record's
// extent is the host's, one byte further is not, whatever the accessor.
#include "exports/host_record.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

namespace corvane::exports {
namespace {

constexpr std::size_t kExtent = 24;
constexpr std::size_t kFar = std::numeric_limits<std::size_t>::max() - 2;  // offset + count wraps

struct Access {
  const char* name;
  std::size_t width;  // the bytes one call at offset touches
  std::function<void(HostRecord&, std::size_t)> call;
};

// Each accessor with the width of the field it touches.
std::vector<Access> accessors() {
  return {
      {"u32", 4, [](HostRecord& r, std::size_t at) { (void)r.u32(at); }},
      {"setU32", 4, [](HostRecord& r, std::size_t at) { r.setU32(at, 7); }},
      {"i32", 4, [](HostRecord& r, std::size_t at) { (void)r.i32(at); }},
      {"address", 4, [](HostRecord& r, std::size_t at) { (void)r.address(at); }},
      {"setAddress", 4, [](HostRecord& r, std::size_t at) { r.setAddress(at, nullptr); }},
      {"text", 6, [](HostRecord& r, std::size_t at) { (void)r.text(at, 6); }},
      {"setText", 6, [](HostRecord& r, std::size_t at) { r.setText(at, 6, "abcdefgh"); }},
      {"bytes", 5, [](HostRecord& r, std::size_t at) { (void)r.bytes(at, 5); }},
      {"setFixedWords", 4,
       [](HostRecord& r, std::size_t at) {
         const FixedWord words[] = {{0, 1}, {at, 2}};
         r.setFixedWords(words);
       }},
  };
}

TEST(HostRecord, EveryAccessorStopsAtTheExtent) {
  const struct {
    const char* what;
    std::size_t (*offset)(std::size_t width);
    bool allowed;
  } places[] = {
      {"the first field", [](std::size_t) -> std::size_t { return 0; }, true},
      {"a field ending exactly at the extent", [](std::size_t w) { return kExtent - w; }, true},
      {"one byte past the extent", [](std::size_t w) { return kExtent - w + 1; }, false},
      {"starting at the extent", [](std::size_t) { return kExtent; }, false},
      {"far past it", [](std::size_t) { return kExtent + 1000; }, false},
      {"an offset whose end wraps around", [](std::size_t) { return kFar; }, false},
  };
  for (const Access& access : accessors()) {
    for (const auto& place : places) {
      // Room behind the extent, so a missing check shows as a failed
      // expectation rather than a write into someone else's memory.
      std::array<std::uint8_t, kExtent + 16> memory{};
      memory.fill(0xEE);
      HostRecord record(memory.data(), kExtent);
      const std::size_t offset = place.offset(access.width);
      if (place.allowed) {
        EXPECT_NO_THROW(access.call(record, offset)) << access.name << ", " << place.what;
      } else {
        EXPECT_THROW(access.call(record, offset), HostRecordError) << access.name << ", " << place.what;
      }
      for (std::size_t i = kExtent; i < memory.size(); ++i)
        ASSERT_EQ(memory[i], 0xEE) << access.name << ", " << place.what << ": byte " << i << " written";
    }
  }
}

TEST(HostRecord, FieldsAtTheEdgeReadBackWhatWasWritten) {
  std::array<std::uint8_t, kExtent> memory{};
  HostRecord record(memory.data(), kExtent);
  record.setU32(kExtent - 4, 0x8000'0001u);
  EXPECT_EQ(record.u32(kExtent - 4), 0x8000'0001u);
  EXPECT_EQ(record.i32(kExtent - 4), -0x7FFF'FFFF);
  EXPECT_EQ(memory[kExtent - 4], 0x01) << "little-endian";
  record.setText(kExtent - 6, 6, "abcdefgh");
  EXPECT_EQ(record.text(kExtent - 6, 6), "abcde") << "cut to leave room for the terminator";
  EXPECT_EQ(recordSize(memory.data()), 0u);
}

TEST(HostRecord, ANullRecordIsRefused) {
  EXPECT_THROW(HostRecord(nullptr, 4), HostRecordError);
  EXPECT_THROW((void)recordSize(nullptr), HostRecordError);
}

}  // namespace
}  // namespace corvane::exports
