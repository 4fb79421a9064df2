#include "board/field_clock.h"

#include <gtest/gtest.h>

#include "support/fake_clock.h"

namespace corvane::board {
namespace {

constexpr std::uint64_t kHour = 3'600'000'000;  // microseconds

TEST(FieldClock, CountsFromTheAbsoluteStartWithoutDrift) {
  const struct {
    FieldRate rate;
    std::uint64_t fieldsInTenHours;
    bool fieldStartsAtTenHours;
  } cases[] = {
      {FieldRate::of(VideoStandard::Ntsc), 2'157'842, false},  // 36000 × 60000 / 1001 = 2157842.16
      {FieldRate::of(VideoStandard::Pal), 1'800'000, true},
      {{2997, 50}, 2'157'840, true},  // 59.94 as configured is not the 525-line rate
      {{7, 3}, 84'000, true},
  };
  for (const auto& c : cases) {
    testing::FakeClock clock;
    clock.now = 5'000'000'000'000;  // far from zero: only the difference may count
    const std::uint64_t start = clock.now;
    FieldClock fields(clock, c.rate);
    // One hour of fields handed out one by one: each waits until its field
    // has started, and by less than the millisecond the sleep rounds to.
    const std::uint64_t hourFields = c.fieldsInTenHours / 10;
    for (std::uint64_t expected = 0; expected <= hourFields; ++expected) {
      ASSERT_EQ(fields.waitForNextField(), expected);
      const std::uint64_t late = clock.now - start - fields.fieldStart(expected);
      ASSERT_LT(late, 1000u) << "field " << expected;
    }
    EXPECT_EQ(fields.missedFields(), 0u);
    clock.now = start + 10 * kHour;
    EXPECT_EQ(fields.fieldsSinceStart(), c.fieldsInTenHours);
    clock.now -= 1;
    EXPECT_EQ(fields.fieldsSinceStart(), c.fieldsInTenHours - (c.fieldStartsAtTenHours ? 1 : 0));
  }
}

TEST(FieldClock, ALateCallerSkipsAndCountsTheMissedFieldsAndStaysOnTheGrid) {
  testing::FakeClock clock;
  const std::uint64_t start = clock.now;
  FieldClock fields(clock, FieldRate::of(VideoStandard::Pal));  // 20 ms a field
  EXPECT_EQ(fields.waitForNextField(), 0u);
  EXPECT_TRUE(clock.sleeps.empty());  // field 0 is on air at once
  EXPECT_EQ(fields.waitForNextField(), 1u);
  EXPECT_EQ(clock.now - start, 20'000u);

  clock.now += 95'000;  // a slow callback: fields 2 to 5 go by
  EXPECT_EQ(fields.waitForNextField(), 5u);
  EXPECT_EQ(fields.missedFields(), 3u);  // 2, 3, 4
  EXPECT_EQ(fields.waitForNextField(), 6u);
  EXPECT_EQ(clock.now - start, 120'000u);  // field 6 on the original grid
  EXPECT_EQ(fields.missedFields(), 3u);

  clock.now += 1'000'000;
  fields.restart();
  EXPECT_EQ(fields.missedFields(), 0u);
  EXPECT_EQ(fields.waitForNextField(), 0u);
  EXPECT_EQ(fields.waitForNextField(), 1u);
  EXPECT_EQ(clock.now - start, 1'140'000u);
}

}  // namespace
}  // namespace corvane::board
