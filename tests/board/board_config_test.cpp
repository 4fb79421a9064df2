#include "board/board_config.h"

#include <gtest/gtest.h>

#include <functional>

namespace corvane::board {
namespace {

TEST(BoardConfig, ParsesEveryKeyAndNamesEveryBadValue) {
  using Pace = InputRate::Pace;
  const struct {
    const char* text;
    std::function<void(BoardConfig&)> change;  // from the defaults
    std::vector<std::string> problems;
  } cases[] = {
      {"absent=1,log=/l,output=/o.qvf,shown=/s,output_frames=1000,refuse_output=1,input=loopback,"
       "input_rate=59.94,input_frames=0,input_standard=pal,missing_field=1,first_count=4294967295,monitor=/m",
       [](BoardConfig& c) {
         c.faults = {true, true, 0, 1, VideoStandard::Pal};
         c.logPath = "/l";
         c.outputPath = "/o.qvf";
         c.shownPath = "/s";
         c.outputFrames = 1000;
         c.input = InputSource::Loopback;
         c.inputRate = {Pace::Fixed, {2997, 50}};
         c.firstCount = 0xffffffff;
         c.monitor = "/m";
       },
       {}},
      // An unknown key is named with the keys there are and skipped; spaces
      // around a key do not matter; the first '=' splits, the value is kept as
      // written, the last item wins.
      {"faults=burst, log =/tmp/a=b/ c.log ,,absent=1,input=clip.qvf,input_rate=0.001,input_standard=ntsc,"
       "absent=0,input_rate=fast",
       [](BoardConfig& c) {
         c.logPath = "/tmp/a=b/ c.log ";
         c.input = InputSource::File;
         c.inputPath = "clip.qvf";
         c.inputRate.pace = Pace::Fast;
         c.faults.inputStandard = VideoStandard::Ntsc;
       },
       {"'faults' is not a setting (the settings are log, output, shown, output_frames, input, input_rate, "
        "first_count, monitor, absent, refuse_output, input_frames, missing_field, input_standard)"}},
      {"input_rate=field,input_rate=100000",
       [](BoardConfig& c) {
         c.inputRate = {Pace::Fixed, {100000, 1}};
       },
       {}},
      // A bad value leaves the setting as it was.
      {"absent=yes,log=,absent,output=,shown=,refuse_output=2,input=,input_standard=PAL,monitor=,monitor=a/b,"
       "monitor=/",
       [](BoardConfig&) {},
       {"absent must be 0 or 1, not 'yes'", "log needs a path", "item 'absent' has no '='",
        "output needs a path", "shown needs a path", "refuse_output must be 0 or 1, not '2'",
        "input needs pattern, loopback or a path", "input_standard must be ntsc or pal, not 'PAL'",
        "monitor must be a shared-memory name (no '/' but a leading one), not ''",
        "monitor must be a shared-memory name (no '/' but a leading one), not 'a/b'",
        "monitor must be a shared-memory name (no '/' but a leading one), not '/'"}},
      {"output_frames=0,output_frames=1001,output_frames= 4,first_count=-1,first_count=4294967296,"
       "input_frames=3x,missing_field=0,missing_field=",
       [](BoardConfig&) {},
       {"output_frames must be a whole number from 1 to 1000, not '0'",
        "output_frames must be a whole number from 1 to 1000, not '1001'",
        "output_frames must be a whole number from 1 to 1000, not ' 4'",
        "first_count must be a whole number from 0 to 4294967295, not '-1'",
        "first_count must be a whole number from 0 to 4294967295, not '4294967296'",
        "input_frames must be a whole number from 0 to 4294967295, not '3x'",
        "missing_field must be a whole number from 1 to 4294967295, not '0'",
        "missing_field must be a whole number from 1 to 4294967295, not ''"}},
      {"input_rate=0,input_rate=0.000,input_rate=100000.001,input_rate=1.0001,input_rate=.5,input_rate=5.,"
       "input_rate=-5,input_rate=Field",
       [](BoardConfig&) {},
       [] {
         std::vector<std::string> problems;
         for (const char* bad : {"0", "0.000", "100000.001", "1.0001", ".5", "5.", "-5", "Field"}) {
           problems.push_back(
               "input_rate must be field, fast or fields a second above 0 and up to 100000 "
               "with at most 3 decimals, not '" +
               std::string(bad) + "'");
         }
         return problems;
       }()},
  };
  for (const auto& c : cases) {
    BoardConfig expected;
    c.change(expected);
    expected.problems = c.problems;
    const BoardConfig config = parseBoardConfig(c.text);
    EXPECT_EQ(config.problems, expected.problems) << c.text;
    EXPECT_TRUE(config == expected) << c.text;
  }

  // The documented defaults, spelled out rather than taken from the struct.
  const BoardConfig defaults = parseBoardConfig("");
  EXPECT_TRUE(defaults.logPath.empty() && defaults.outputPath.empty() && defaults.shownPath.empty());
  EXPECT_EQ(defaults.outputFrames, 3u);
  EXPECT_EQ(defaults.input, InputSource::Pattern);
  EXPECT_EQ(defaults.inputRate.pace, InputRate::Pace::Field);
  EXPECT_EQ(defaults.firstCount, 1u);
  EXPECT_EQ(defaults.monitor, "") << "named by the board when the settings name none";
  EXPECT_EQ(defaultMonitorName(1000, 4321), "corvane-monitor-1000-4321");
  EXPECT_EQ(defaultMonitorName(1000, 4321).rfind(monitorNamePrefix(1000), 0), 0u);
  EXPECT_TRUE(defaults.faults == Faults{});
  EXPECT_TRUE(defaults.problems.empty());
}

TEST(BoardConfig, InputFaultsDropTheFieldsTheyName) {
  const Faults faults = parseBoardConfig("input_frames=3,missing_field=2,input_standard=pal").faults;
  const struct {
    std::uint64_t frame;
    FieldParity field;
    bool delivered;
  } cases[] = {
      {1, FieldParity::Second, true},  {2, FieldParity::First, true},
      {2, FieldParity::Second, false}, {3, FieldParity::Second, true},
      {4, FieldParity::First, false},  {0x100000003, FieldParity::First, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(faults.deliversField(c.frame, c.field), c.delivered) << c.frame;
  }
  EXPECT_TRUE(Faults{}.deliversField(0xffffffff, FieldParity::Second));
  EXPECT_EQ(faults.inputStandardFor(VideoStandard::Ntsc), VideoStandard::Pal);
  EXPECT_EQ(Faults{}.inputStandardFor(VideoStandard::Ntsc), VideoStandard::Ntsc);
}

}  // namespace
}  // namespace corvane::board
