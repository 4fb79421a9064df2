// ScryOut and ScryIn as the plug-in starts them: no arguments, the monitor
// named in CORVANE_MONITOR or CORVANE_BOARD, no display, a PNG directory. The PNG is decoded
// back: fields woven into lines, colours in place, the right channel, the
// latest frame.
#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "board/monitor.h"
#include "platform/png_file.h"
#include "platform/process.h"
#include "support/fake_programs.h"
#include "support/temp_dir.h"

namespace corvane::scry {
namespace {

using board::MonitorChannel;
using corvane::testing::eventually;
using Rgb = std::array<int, 3>;
using Ycbcr = std::array<std::uint8_t, 3>;
// Studio-range BT.601.
constexpr Ycbcr kRed{81, 90, 240}, kBlue{41, 240, 110}, kWhite{235, 128, 128}, kBlack{16, 128, 128};

// Field-separated: each field has one colour left of the middle, another right of it.
std::vector<std::uint8_t> makeFrame(std::uint32_t lines, std::array<Ycbcr, 4> leftRightPerField) {
  std::vector<std::uint8_t> frame(board::monitorFrameBytes(lines));
  for (std::size_t r = 0; r < lines; ++r)
    for (std::size_t x = 0; x < 720; x += 2) {
      const Ycbcr& c = leftRightPerField[(r < lines / 2 ? 0 : 2) + (x < 360 ? 0 : 1)];
      std::uint8_t* p = &frame[(r * 720 + x) * 2];
      p[0] = c[1], p[1] = c[0], p[2] = c[2], p[3] = c[0];
    }
  return frame;
}

// Decoded by the system's own imaging library, as a viewer would.
struct Png : platform::RgbImage {
  bool near(std::uint32_t x, std::uint32_t y, Rgb want) const {
    for (std::size_t i = 0; i < 3; ++i)
      if (std::abs(rgb[(std::size_t{y} * width + x) * 3 + i] - want[i]) > 3) return false;
    return true;
  }
};

bool readPng(const std::string& path, Png& out) { return platform::readPngFile(path, out); }

class ScryProgram : public ::testing::Test {
 protected:
  // As the plug-in starts it, with the board's key naming the monitor and no
  // display (on Windows there is always one: the window opens, and closing
  // it is the close request).
  platform::ChildProcess start(const char* path, const std::string& monitor = "") {
    std::vector<std::string> environment = {"CORVANE_BOARD=monitor=" + name_,
                                            "CORVANE_PREVIEW_DIR=" + dir_.path(), "DISPLAY="};
    if (!monitor.empty()) environment.push_back("CORVANE_MONITOR=" + monitor);
    platform::SpawnError error{};
    return platform::ChildProcess::start(path, error, environment);
  }
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
  std::string name_ = "corvane-test-scry-" + std::to_string(std::random_device{}());
};

TEST_F(ScryProgram, ScryOutWritesTheLatestOutputFrameAsPngAndEndsOnTheCloseRequest) {
  auto board = board::MonitorWriter::open(name_);
  ASSERT_NE(board, nullptr);
  ASSERT_TRUE(board->publish(MonitorChannel::Output, makeFrame(576, {kRed, kBlue, kWhite, kBlack}), 576));
  // The plug-in tells its previews its own monitor, over the board's key.
  const std::string told = name_;
  name_ += "-not-this-one";
  platform::ChildProcess scry = start(CORVANE_SCRYOUT_PATH, told);
  ASSERT_TRUE(scry.started());

  Png png;
  ASSERT_TRUE(eventually([&] { return readPng(dir_ / "ScryOut.png", png); }));
  ASSERT_EQ(png.width, 720u);
  ASSERT_EQ(png.height, 576u);
  // Even lines come from the first field, odd lines from the second.
  const std::tuple<std::uint32_t, std::uint32_t, Rgb> cases[] = {
      {0, 0, {255, 0, 0}},     {359, 0, {255, 0, 0}},       {360, 0, {0, 0, 255}}, {719, 574, {0, 0, 255}},
      {0, 1, {255, 255, 255}}, {300, 575, {255, 255, 255}}, {400, 1, {0, 0, 0}},   {719, 575, {0, 0, 0}},
  };
  for (const auto& [x, y, want] : cases) EXPECT_TRUE(png.near(x, y, want)) << x << "," << y;

  ASSERT_TRUE(board->publish(MonitorChannel::Output, makeFrame(480, {kBlack, kBlack, kBlack, kBlack}), 480));
  EXPECT_TRUE(pngShows("ScryOut.png", [](const Png& p) {
    return p.height == 480 && p.near(0, 0, {0, 0, 0});
  }));
  EXPECT_TRUE(endsCleanly(scry));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "ScryOut.png.tmp"));
}

TEST_F(ScryProgram, ScryInWaitsForTheBoardShowsTheInputAndFollowsANewBoard) {
  platform::ChildProcess scry = start(CORVANE_SCRYIN_PATH);
  ASSERT_TRUE(scry.running());
  {
    auto board = board::MonitorWriter::open(name_);
    ASSERT_NE(board, nullptr);
    ASSERT_TRUE(board->publish(MonitorChannel::Output, makeFrame(480, {kBlue, kBlue, kBlue, kBlue}), 480));
    ASSERT_TRUE(board->publish(MonitorChannel::Input, makeFrame(480, {kWhite, kWhite, kWhite, kWhite}), 480));
    EXPECT_TRUE(pngShows("ScryIn.png", [](const Png& p) { return p.near(10, 10, {255, 255, 255}); }));
  }
  // The board goes; the next one publishes in an object of its own.
  auto next = board::MonitorWriter::open(name_);
  ASSERT_NE(next, nullptr);
  ASSERT_TRUE(next->publish(MonitorChannel::Input, makeFrame(480, {kRed, kRed, kRed, kRed}), 480));
  EXPECT_TRUE(pngShows("ScryIn.png", [](const Png& p) { return p.near(10, 10, {255, 0, 0}); }));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "ScryOut.png"));
  EXPECT_TRUE(endsCleanly(scry));
}

// The shell and /proc stand in for the host here, so this one runs where
// they are.
#if !defined(_WIN32)
// A host killed before it could stop its preview: the preview must not stay
// behind on its own. The shell stands in for the host; it goes after a second.
TEST_F(ScryProgram, APreviewWhoseHostIsGoneEnds) {
  const std::string pidFile = dir_ / "scry.pid";
  const std::string command = std::string("sh -c 'DISPLAY= \"") + CORVANE_SCRYOUT_PATH +
                              "\" </dev/null >/dev/null 2>&1 & echo $! > " + pidFile + "; sleep 1'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  int pid = 0;
  std::ifstream(pidFile) >> pid;
  ASSERT_GT(pid, 0);
  // Gone, or a zombie where nothing reaps orphans.
  const auto ended = [pid] {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string id, name, state;
    return !(stat >> id >> name >> state) || state == "Z";
  };
  const bool gone = eventually(ended);
  if (!gone) ::kill(pid, SIGKILL);
  EXPECT_TRUE(gone);
}
#endif

}  // namespace
}  // namespace corvane::scry
