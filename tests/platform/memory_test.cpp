// Page buffers: alignment, zero fill, ownership across moves, release.
#include "platform/memory.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <utility>

namespace corvane::platform {
namespace {

bool isMapped(const void* address) {
  unsigned char residency = 0;
  return ::mincore(const_cast<void*>(address), pageSize(), &residency) == 0;
}

TEST(PageBuffer, IsPageAlignedZeroFilledAndWritableToTheLastByte) {
  const std::size_t page = pageSize();
  for (std::size_t size : {std::size_t{1}, page - 1, page, page + 1, 3 * page + 17}) {
    PageBuffer buffer(size);
    ASSERT_EQ(buffer.size(), size);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.data()) % page, 0u);
    const auto bytes = buffer.bytes();
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; }));
    bytes.back() = 0xCD;
    EXPECT_EQ(buffer.data()[size - 1], 0xCD);
  }
  EXPECT_TRUE(PageBuffer(0).empty());
  EXPECT_TRUE(PageBuffer(0).bytes().empty());
  EXPECT_THROW(PageBuffer(std::numeric_limits<std::size_t>::max()), std::bad_alloc);
  EXPECT_THROW(PageBuffer(std::numeric_limits<std::size_t>::max() - 4 * page), std::bad_alloc);
}

TEST(PageBuffer, MovesTransferOwnershipAndReleaseWhatWasOverwritten) {
  PageBuffer a(100);
  a.data()[0] = 7;
  std::uint8_t* const first = a.data();
  PageBuffer b(std::move(a));
  EXPECT_TRUE(a.empty());  // NOLINT(bugprone-use-after-move): the moved-from state is the contract
  EXPECT_EQ(b.data(), first);
  EXPECT_EQ(b.size(), 100u);
  EXPECT_EQ(b.data()[0], 7);

  std::uint8_t* overwritten = nullptr;
  {
    PageBuffer c(5000);
    overwritten = c.data();
    c = std::move(b);
    EXPECT_EQ(c.data(), first);
    EXPECT_TRUE(b.empty());  // NOLINT(bugprone-use-after-move)
    EXPECT_FALSE(isMapped(overwritten));
    EXPECT_TRUE(isMapped(first));
  }
  EXPECT_FALSE(isMapped(first));  // the destructor unmaps
}

}  // namespace
}  // namespace corvane::platform
