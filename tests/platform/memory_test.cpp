// Memory that frames pass through: made ready for transfers, it stays zero,
// writable and within its own pages, whatever its size and start.
#include "platform/memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace corvane::platform {
namespace {

TEST(TransferMemory, PreparedMemoryStaysZeroWritableAndWithinItsPages) {
  struct Case {
    const char* name;
    std::size_t bytes;
    std::size_t skippedPages;  // the span starts this many pages into the buffer
  };
  const std::size_t page = pageSize();
  const std::size_t large = largePageSize();
  const Case cases[] = {
      {"one byte", 1, 0},
      {"one whole page, ending where the mapping ends", page, 0},
      {"a frame, not a whole number of pages", 691200, 0},
      {"past a large page, ending where the mapping ends", large + page, 0},
      {"starting a page into the buffer", 2 * large, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PageBuffer buffer(c.bytes);
    const std::span<std::uint8_t> memory = buffer.bytes().subspan(std::min(c.skippedPages * page, c.bytes));
    prepareForTransfers(memory);
    EXPECT_TRUE(
        std::all_of(buffer.bytes().begin(), buffer.bytes().end(), [](std::uint8_t b) { return b == 0; }));
    std::fill(memory.begin(), memory.end(), std::uint8_t{0xA5});
    EXPECT_EQ(std::count(memory.begin(), memory.end(), std::uint8_t{0xA5}),
              static_cast<std::ptrdiff_t>(memory.size()));
  }
}

}  // namespace
}  // namespace corvane::platform
