// What the byte-moving conversions promise beyond matching each other: the
// value caps, and the odd-width rules of the 4:4:4 frame layout.
#include <gtest/gtest.h>

#include <vector>

#include "pixeltools/field_rows.h"
#include "pixeltools/value_limits.h"

namespace corvane::pixeltools {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct LimitRule {
  const char* name;
  void (*limit)(std::span<std::uint8_t>);
  Bytes before, after;
};

TEST(LayoutRules, LimitsCapTheirBytesOfWholeGroupsOnly) {
  const LimitRule rules[] = {
      {"4:2:2",
       limitYcbcr422InPlace,
       {255, 0, 254, 255, 255, 1, 2, 255, 255, 255},
       {254, 0, 254, 254, 254, 1, 2, 254, 255, 255}},
      {"4:4:4",
       limitYcbcr444InPlace,
       {255, 255, 255, 255, 0, 255, 7, 0, 255, 255, 255},
       {254, 254, 254, 255, 0, 254, 7, 0, 255, 255, 255}},
  };
  for (const LimitRule& rule : rules) {
    Bytes frame = rule.before;
    rule.limit(frame);
    EXPECT_EQ(rule.after, frame) << rule.name;
  }
}

// Width 3, two lines a field: the third pixel of a row is never produced,
// and the 4:4:4 source is read pair after pair straight through, 8 bytes a
// field row rather than 12.
TEST(LayoutRules, OddWidthsDropTheLastPixelAndPackReadsStraightThrough) {
  const FieldGeometry g{3, 2};
  constexpr std::uint8_t x = 0xEE;  // never written
  const Bytes field0 = {1, 2, 3, 4, 5, 6, 11, 12, 13, 14, 15, 16};
  const Bytes field1 = {101, 102, 103, 104, 105, 106, 111, 112, 113, 114, 115, 116};
  Bytes frame(48, x);
  fieldsTo444(field0.data(), field1.data(), frame.data(), g);
  EXPECT_EQ(frame, (Bytes{2,   1,   3,   255, 4,   1,   3,   255, x, x, x, x,  //
                          102, 101, 103, 255, 104, 101, 103, 255, x, x, x, x,  //
                          12,  11,  13,  255, 14,  11,  13,  255, x, x, x, x,  //
                          112, 111, 113, 255, 114, 111, 113, 255, x, x, x, x}));

  Bytes source(48);
  for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<std::uint8_t>(i);
  Bytes packed0(12, x), packed1(12, x);
  fieldsFrom444(source.data(), packed0.data(), packed1.data(), g);
  EXPECT_EQ(packed0, (Bytes{1, 0, 2, 4, x, x, 17, 16, 18, 20, x, x}));
  EXPECT_EQ(packed1, (Bytes{9, 8, 10, 12, x, x, 25, 24, 26, 28, x, x}));
}

}  // namespace
}  // namespace corvane::pixeltools
