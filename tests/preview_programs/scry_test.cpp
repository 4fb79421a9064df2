// ScryOut and ScryIn as the plug-in starts them: no arguments, the board's
// monitor named in CORVANE_BOARD, no display, a PNG directory. The PNG is
// decoded back and its pixels checked: fields woven into lines, colours in
// their places, the right channel, the latest frame.
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>

#include <array>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "board/monitor.h"
#include "platform/process.h"
#include "support/fake_programs.h"
#include "support/temp_dir.h"

namespace corvane::scry {
namespace {

using board::MonitorChannel;
using corvane::testing::eventually;

struct Rgb {
  int r, g, b;
};
struct Ycbcr {
  std::uint8_t y, cb, cr;
};
// Studio-range BT.601 of the colours used below.
constexpr Ycbcr kRed{81, 90, 240}, kBlue{41, 240, 110}, kWhite{235, 128, 128}, kBlack{16, 128, 128};
constexpr Ycbcr kGrey{126, 128, 128};

// A field-separated frame: each field has its own colour left of the middle
// and another right of it.
std::vector<std::uint8_t> makeFrame(std::uint32_t lines, std::array<Ycbcr, 2> field0,
                                    std::array<Ycbcr, 2> field1) {
  std::vector<std::uint8_t> frame(board::monitorFrameBytes(lines));
  const std::size_t row = 720 * 2;
  for (std::uint32_t r = 0; r < lines; ++r) {
    const auto& colours = r < lines / 2 ? field0 : field1;
    for (std::size_t x = 0; x < 720; x += 2) {
      const Ycbcr c = colours[x < 360 ? 0 : 1];
      std::uint8_t* p = &frame[r * row + x * 2];
      p[0] = c.cb, p[1] = c.y, p[2] = c.cr, p[3] = c.y;
    }
  }
  return frame;
}

struct Png {
  std::uint32_t width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
  Rgb at(std::uint32_t x, std::uint32_t y) const {
    const std::uint8_t* p = &rgb[(std::size_t{y} * width + x) * 3];
    return {p[0], p[1], p[2]};
  }
};

bool readPng(const std::string& path, Png& out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  out.width = image.width;
  out.height = image.height;
  out.rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr)) return false;
  return true;
}

bool near(Rgb got, Rgb want) {
  return std::abs(got.r - want.r) <= 3 && std::abs(got.g - want.g) <= 3 && std::abs(got.b - want.b) <= 3;
}

class ScryProgram : public ::testing::Test {
 protected:
  ScryProgram() : name_("corvane-test-scry-" + std::to_string(std::random_device{}())) {
    ::setenv("CORVANE_BOARD", ("log=,monitor=" + name_).c_str(), 1);
    ::setenv("CORVANE_PREVIEW_DIR", dir_.path().c_str(), 1);
    if (const char* display = ::getenv("DISPLAY")) savedDisplay_ = display;
    ::unsetenv("DISPLAY");
  }
  ~ScryProgram() override {
    ::unsetenv("CORVANE_BOARD");
    ::unsetenv("CORVANE_PREVIEW_DIR");
    if (!savedDisplay_.empty()) ::setenv("DISPLAY", savedDisplay_.c_str(), 1);
  }

  platform::ChildProcess start(const char* path) {
    platform::SpawnError error{};
    platform::ChildProcess child = platform::ChildProcess::start(path, error);
    EXPECT_EQ(error, platform::SpawnError::None) << path;
    return child;
  }

  // Waits for the PNG to show what check accepts.
  bool pngShows(const std::string& file, const std::function<bool(const Png&)>& check) {
    return eventually([&] {
      Png png;
      return readPng(dir_ / file, png) && check(png);
    });
  }

  static bool endsCleanly(platform::ChildProcess& child) {
    return child.stop(std::chrono::milliseconds(20000)) == platform::StopOutcome::Closed &&
           !child.exitStatus()->signalled && child.exitStatus()->value == 0;
  }

  testing::TempDir dir_;
  std::string name_;
  std::string savedDisplay_;
};

TEST_F(ScryProgram, ScryOutWritesTheLatestOutputFrameAsPngAndEndsOnTheCloseRequest) {
  auto board = board::MonitorWriter::open(name_);
  ASSERT_NE(board, nullptr);
  ASSERT_TRUE(board->publish(MonitorChannel::Output, makeFrame(576, {kRed, kBlue}, {kWhite, kBlack}), 576));
  platform::ChildProcess scry = start(CORVANE_SCRYOUT_PATH);

  Png png;
  ASSERT_TRUE(eventually([&] { return readPng(dir_ / "ScryOut.png", png); }));
  ASSERT_EQ(png.width, 720u);
  ASSERT_EQ(png.height, 576u);
  struct Case {
    std::uint32_t x, y;
    Rgb want;
  };
  // Even lines come from the first field, odd lines from the second.
  const Case cases[] = {
      {0, 0, {255, 0, 0}},     {359, 0, {255, 0, 0}},       {360, 0, {0, 0, 255}}, {719, 574, {0, 0, 255}},
      {0, 1, {255, 255, 255}}, {300, 575, {255, 255, 255}}, {400, 1, {0, 0, 0}},   {719, 575, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    const Rgb got = png.at(c.x, c.y);
    EXPECT_TRUE(near(got, c.want)) << c.x << "," << c.y << " is " << got.r << " " << got.g << " " << got.b;
  }

  // A later frame replaces it.
  ASSERT_TRUE(
      board->publish(MonitorChannel::Output, makeFrame(480, {kBlack, kBlack}, {kBlack, kBlack}), 480));
  EXPECT_TRUE(pngShows("ScryOut.png", [](const Png& p) {
    return p.height == 480 && near(p.at(0, 0), {0, 0, 0});
  }));

  EXPECT_TRUE(endsCleanly(scry));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "ScryOut.png.tmp"));
}

TEST_F(ScryProgram, ScryInWaitsForTheBoardShowsTheInputAndFollowsANewBoard) {
  platform::ChildProcess scry = start(CORVANE_SCRYIN_PATH);
  ASSERT_TRUE(scry.running());
  const auto input = makeFrame(480, {kWhite, kWhite}, {kWhite, kWhite});
  const auto output = makeFrame(480, {kGrey, kGrey}, {kGrey, kGrey});
  auto isWhite = [](const Png& p) { return near(p.at(10, 10), {255, 255, 255}); };
  {
    auto board = board::MonitorWriter::open(name_);
    ASSERT_NE(board, nullptr);
    ASSERT_TRUE(board->publish(MonitorChannel::Output, output, 480));
    ASSERT_TRUE(board->publish(MonitorChannel::Input, input, 480));
    EXPECT_TRUE(pngShows("ScryIn.png", isWhite));
  }
  // The board goes; the next one publishes in an object of its own.
  auto next = board::MonitorWriter::open(name_);
  ASSERT_NE(next, nullptr);
  ASSERT_TRUE(next->publish(MonitorChannel::Input, makeFrame(480, {kRed, kRed}, {kRed, kRed}), 480));
  EXPECT_TRUE(pngShows("ScryIn.png", [](const Png& p) { return near(p.at(10, 10), {255, 0, 0}); }));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "ScryOut.png")) << "ScryIn showed the output";
  EXPECT_TRUE(endsCleanly(scry));
}

}  // namespace
}  // namespace corvane::scry
