// The table of open files: eviction by the seeded rand() pick, reopening,
// the capture-style append surviving evictions, two spellings of one file,
// and failed closes that must leave the table usable.
#include "qvf/registry.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <thread>

#include "engine/error.h"
#include "platform/file.h"
#include "qvf/reader.h"
#include "qvf/writer.h"
#include "qvf_test_support.h"

namespace corvane::qvf {
namespace {

using test::kSmallFieldBytes;
using test::patternFrame422;
using test::SlotPicks;
using test::TempDir;

// What the registry's table should hold, given the same picks.
class SlotModel {
 public:
  explicit SlotModel(const SlotPicks& picks) : picks_(picks) {}
  // A named operation: a hit changes nothing; a miss replaces slot pick.
  void use(const std::string& name) {
    for (const std::string& slot : slots_)
      if (slot == name) return;
    slots_[picks_[next_++]] = name;
  }
  bool holds(const std::string& name) const {
    return std::find(slots_.begin(), slots_.end(), name) != slots_.end();
  }
  std::size_t occupied() const {
    return static_cast<std::size_t>(
        std::count_if(slots_.begin(), slots_.end(), [](auto& s) { return !s.empty(); }));
  }

 private:
  const SlotPicks& picks_;
  std::size_t next_ = 0;
  std::array<std::string, 8> slots_;
};

std::vector<std::string> makeFiles(const TempDir& dir, int count) {
  std::vector<std::string> paths;
  OpenFileRegistry writer;
  for (int i = 0; i < count; ++i) {
    paths.push_back(dir / ("f" + std::to_string(i) + ".qvf"));
    test::createSmall(paths.back());
    const platform::PageBuffer frame = patternFrame422(kSmallFieldBytes, 100 + i);
    EXPECT_TRUE(writeFrame422(writer, paths.back().c_str(), frame.data()));
    writer.closeByName(paths.back().c_str());
  }
  return paths;
}

bool frameMatches(OpenFileRegistry& registry, const std::string& path, std::uint32_t n, std::uint32_t seed) {
  platform::PageBuffer buffer(kSmallFieldBytes * 2);
  const platform::PageBuffer expected = patternFrame422(kSmallFieldBytes, seed);
  return readFrame422(registry, path.c_str(), n, buffer.data()) &&
         std::equal(expected.bytes().begin(), expected.bytes().end(), buffer.data());
}

TEST(OpenFileRegistry, NineFilesInTurnEvictAndReopenWithTheSameData) {
  TempDir dir;
  const auto paths = makeFiles(dir, 9);
  OpenFileRegistry registry;
  const SlotPicks picks(12345);
  SlotModel model(picks);
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 9; ++i) {
      model.use(paths[i]);
      EXPECT_TRUE(frameMatches(registry, paths[i], 0, 100 + i)) << round << " " << i;
      EXPECT_EQ(registry.openCount(), model.occupied());
    }
  }
  EXPECT_LE(registry.openCount(), 8u);
}

TEST(OpenFileRegistry, AMissMayEvictWhileOtherSlotsAreEmpty) {
  TempDir dir;
  const auto paths = makeFiles(dir, 2);
  unsigned seed = 1;
  for (;; ++seed) {  // a seed whose first two picks are the same slot
    const SlotPicks picks(seed, 2);
    if (picks[0] == picks[1]) break;
  }
  const SlotPicks picks(seed, 2);
  OpenFileRegistry registry;
  EXPECT_EQ(frameCount(registry, paths[0].c_str()), 1u);
  EXPECT_EQ(frameCount(registry, paths[1].c_str()), 1u);
  EXPECT_EQ(registry.openCount(), 1u);
  EXPECT_FALSE(registry.closeByName(paths[0].c_str())) << "the first file was evicted";
  EXPECT_TRUE(registry.closeByName(paths[1].c_str()));
  EXPECT_TRUE(registry.closeByName(nullptr));
  EXPECT_FALSE(registry.closeByName(paths[1].c_str()));
}

TEST(OpenFileRegistry, CaptureSequenceSurvivesEvictionOfItsEntry) {
  TempDir dir;
  const auto others = makeFiles(dir, 12);
  const std::string capture = dir / "capture.qvf";
  const SlotPicks picks(777, 4096);
  SlotModel model(picks);
  OpenFileRegistry registry;

  registry.closeByName(capture.c_str());
  test::createSmall(capture);
  model.use(capture);
  const platform::PageBuffer first = patternFrame422(kSmallFieldBytes, 0);
  ASSERT_TRUE(writeFrame422(registry, capture.c_str(), first.data()));

  int evictions = 0;
  std::size_t other = 0;
  constexpr std::uint32_t kFrames = 12;
  for (std::uint32_t n = 1; n < kFrames; ++n) {
    // Every other frame, open other files until the capture entry is gone.
    if (n % 2 == 0) {
      while (model.holds(capture)) {
        model.use(others[other % others.size()]);
        EXPECT_EQ(frameCount(registry, others[other % others.size()].c_str()), 1u);
        ++other;
      }
      ++evictions;
    }
    model.use(capture);
    const platform::PageBuffer frame = patternFrame422(kSmallFieldBytes, n);
    ASSERT_TRUE(appendFrameRaw(registry, capture.c_str(), frame.data())) << n;
    EXPECT_EQ(registry.openCount(), model.occupied());
  }
  ASSERT_TRUE(registry.closeByName(capture.c_str()));
  EXPECT_GE(evictions, 5);

  EXPECT_TRUE(isQvfFile(capture.c_str())) << "an append landed on the headers";
  EXPECT_EQ(std::filesystem::file_size(capture), 512 + kFrames * 2 * kSmallFieldBytes);
  EXPECT_EQ(frameCount(registry, capture.c_str()), kFrames);
  for (std::uint32_t n = 0; n < kFrames; ++n) EXPECT_TRUE(frameMatches(registry, capture, n, n)) << n;
}

TEST(OpenFileRegistry, TwoSpellingsOfOneFileCannotBothHoldIt) {
  TempDir dir;
  const auto paths = makeFiles(dir, 1);
  std::filesystem::create_directory(dir / "sub");
  const std::string other = dir / "sub/../f0.qvf";
  SlotPicks picks(SlotPicks::seedWithDistinctPicks(2));
  OpenFileRegistry registry;

  const platform::PageBuffer second = patternFrame422(kSmallFieldBytes, 55);
  ASSERT_TRUE(writeFrame422(registry, paths[0].c_str(), second.data()));
  EXPECT_EQ(frameCount(registry, other.c_str()), 0u);
  EXPECT_FALSE(writeFrame422(registry, other.c_str(), second.data()));
  EXPECT_FALSE(frameGeometry(registry, other.c_str()).has_value());
  EXPECT_EQ(registry.openCount(), 1u);
  // Nothing was corrupted, and the first spelling still works.
  EXPECT_TRUE(frameMatches(registry, paths[0], 0, 100));
  EXPECT_TRUE(frameMatches(registry, paths[0], 1, 55));

  // A second registry (another process, in effect) is refused the same way,
  // also through a link.
  std::filesystem::create_symlink(paths[0], dir / "link.qvf");
  OpenFileRegistry elsewhere;
  EXPECT_EQ(frameCount(elsewhere, (dir / "link.qvf").c_str()), 0u);
  EXPECT_EQ(elsewhere.openCount(), 0u);

  ASSERT_TRUE(registry.closeByName(paths[0].c_str()));
  EXPECT_EQ(frameCount(elsewhere, (dir / "link.qvf").c_str()), 2u);
}

TEST(OpenFileRegistry, CreateIsRefusedWhileAnEntryHoldsTheFile) {
  TempDir dir;
  const auto paths = makeFiles(dir, 1);
  OpenFileRegistry registry;
  ASSERT_EQ(frameCount(registry, paths[0].c_str()), 1u);
  EXPECT_THROW(create(paths[0].c_str(), 2, 0, 16, 16, 25.0f), EngineError);
  EXPECT_TRUE(frameMatches(registry, paths[0], 0, 100)) << "the refused create truncated the file";
}

TEST(OpenFileRegistry, FailedCloseEmptiesTheSlotAndReleasesTheLocks) {
  TempDir dir;
  const auto paths = makeFiles(dir, 2);
  OpenFileRegistry registry;
  ASSERT_EQ(frameCount(registry, paths[0].c_str()), 1u);

  platform::failNextStreamClose();
  try {
    registry.closeByName(paths[0].c_str());
    FAIL() << "the failed close was not reported";
  } catch (const EngineError& error) {
    EXPECT_STREQ(error.what(), "Could not close the Win32 streaming file handle.");
  }
  EXPECT_EQ(registry.openCount(), 0u);
  // Another thread can take the registry lock: it was released on the way out.
  std::thread([&] { EXPECT_EQ(frameCount(registry, paths[0].c_str()), 1u); }).join();
  EXPECT_EQ(registry.openCount(), 1u);
}

TEST(OpenFileRegistry, FailedCloseDuringEvictionReachesTheCaller) {
  TempDir dir;
  const auto paths = makeFiles(dir, 2);
  unsigned seed = 1;
  for (;; ++seed) {
    const SlotPicks picks(seed, 2);
    if (picks[0] == picks[1]) break;
  }
  const SlotPicks picks(seed, 3);
  OpenFileRegistry registry;
  ASSERT_EQ(frameCount(registry, paths[0].c_str()), 1u);
  platform::failNextStreamClose();
  EXPECT_THROW(frameCount(registry, paths[1].c_str()), EngineError);
  EXPECT_EQ(registry.openCount(), 0u) << "the evicted slot is empty, the new file not opened";
  std::thread([&] { EXPECT_TRUE(frameMatches(registry, paths[1], 0, 101)); }).join();
}

TEST(OpenFileRegistry, FileWithoutVideoPairIsNotOpened) {
  TempDir dir;
  const std::string path = dir / "novideo.qvf";
  QvfStreamHeader skipped = test::smallVideoStream();
  skipped.streamType = 9;
  QvfFileHeader header;
  header.streamCount = 1;
  header.frameBlockSize = 512;
  test::writeFileBytes(path, test::headerBytes(header, {skipped}));
  OpenFileRegistry registry;
  EXPECT_NO_THROW(openQvfStream(path.c_str()));
  EXPECT_FALSE(frameGeometry(registry, path.c_str()).has_value());
  EXPECT_EQ(registry.openCount(), 0u);
}

}  // namespace
}  // namespace corvane::qvf
