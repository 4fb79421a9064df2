// The table of open files: eviction by the seeded rand() pick, reopening,
// the capture-style append surviving evictions, two spellings of one file,
// and failed closes that must leave the table usable.
#include "qvf/registry.h"

#include <gtest/gtest.h>

#include <array>
#include <thread>

#include "qvf/faulty_storage.h"
#include "qvf/validating_open.h"
#include "qvf_test_support.h"

namespace corvane::qvf {
namespace {

using test::frameMatches;
using test::TempDir;

// The registry picks a slot with the process's rand() on every miss. Seeding
// it here makes the picks known, so a test can say which entry a miss evicts.
std::vector<std::size_t> seedPicks(unsigned seed, std::size_t count = 4096) {
  std::vector<std::size_t> picks;
  std::srand(seed);
  for (std::size_t i = 0; i < count; ++i) picks.push_back(static_cast<std::size_t>(std::rand()) & 7);
  std::srand(seed);
  return picks;
}

// Seeds rand() with the first seed whose picks satisfy accept.
template <typename Accept>
void seedWhere(Accept accept) {
  unsigned seed = 1;
  while (!accept(seedPicks(seed, 3))) ++seed;
  std::srand(seed);
}

// What the registry's table should hold, given the same picks: a hit changes
// nothing, a miss replaces the next picked slot.
class SlotModel {
 public:
  explicit SlotModel(unsigned seed) : picks_(seedPicks(seed)) {}
  void use(const std::string& name) {
    if (!holds(name)) slots_[picks_.at(next_++)] = name;
  }
  bool holds(const std::string& name) const {
    return std::find(slots_.begin(), slots_.end(), name) != slots_.end();
  }
  std::size_t occupied() const {
    return static_cast<std::size_t>(
        std::count_if(slots_.begin(), slots_.end(), [](auto& s) { return !s.empty(); }));
  }

 private:
  std::vector<std::size_t> picks_;
  std::size_t next_ = 0;
  std::array<std::string, 8> slots_;
};

// count one-frame files; frame 0 of file i has seed 100 + i.
std::vector<std::string> makeFiles(const TempDir& dir, std::uint32_t count,
                                   Storage& storage = diskStorage()) {
  std::vector<std::string> paths;
  OpenFileRegistry writer(storage);
  for (std::uint32_t i = 0; i < count; ++i) {
    paths.push_back(dir / ("f" + std::to_string(i) + ".qvf"));
    test::createSmall(paths.back(), storage);
    test::writeFrames(writer, paths.back(), 1, 100 + i);
    writer.closeByName(paths.back().c_str());
  }
  return paths;
}

TEST(OpenFileRegistry, NineFilesInTurnEvictAndReopenWithTheSameData) {
  TempDir dir;
  const auto paths = makeFiles(dir, 9);
  OpenFileRegistry registry;
  SlotModel model(12345);
  for (int round = 0; round < 3; ++round) {
    for (std::uint32_t i = 0; i < 9; ++i) {
      model.use(paths[i]);
      EXPECT_TRUE(frameMatches(registry, paths[i], 0, 100 + i)) << round << " " << i;
      EXPECT_EQ(registry.openCount(), model.occupied());
    }
  }
}

TEST(OpenFileRegistry, CaptureSequenceSurvivesEvictionOfItsEntry) {
  TempDir dir;
  const auto others = makeFiles(dir, 12);
  const std::string capture = dir / "capture.qvf";
  SlotModel model(777);
  OpenFileRegistry registry;

  registry.closeByName(capture.c_str());
  test::createSmall(capture);
  model.use(capture);
  test::writeFrames(registry, capture, 1, 0);
  int evictions = 0;
  std::size_t other = 0;
  constexpr std::uint32_t kFrames = 12;
  for (std::uint32_t n = 1; n < kFrames; ++n) {
    // Every other frame, open other files until the capture entry is gone.
    for (; n % 2 == 0 && model.holds(capture); ++other) {
      model.use(others[other % others.size()]);
      EXPECT_EQ(frameCount(registry, others[other % others.size()].c_str()), 1u);
    }
    evictions += n % 2 == 0;
    model.use(capture);
    ASSERT_TRUE(appendFrameRaw(registry, capture.c_str(),
                               test::all(test::patternFrame422(test::kSmallFieldBytes, n))));
    EXPECT_EQ(registry.openCount(), model.occupied());
  }
  ASSERT_TRUE(registry.closeByName(capture.c_str()));
  EXPECT_GE(evictions, 5);

  EXPECT_TRUE(isQvfFile(capture.c_str())) << "an append landed on the headers";
  EXPECT_EQ(std::filesystem::file_size(capture), 512 + kFrames * 2 * test::kSmallFieldBytes);
  EXPECT_EQ(frameCount(registry, capture.c_str()), kFrames);
  for (std::uint32_t n = 0; n < kFrames; ++n) EXPECT_TRUE(frameMatches(registry, capture, n, n)) << n;
}

TEST(OpenFileRegistry, TwoSpellingsOfOneFileCannotBothHoldIt) {
  TempDir dir;
  const auto paths = makeFiles(dir, 1);
  std::filesystem::create_directory(dir / "sub");
  const std::string other = dir / "sub/../f0.qvf";
  seedWhere([](const auto& p) { return p[0] != p[1]; });
  OpenFileRegistry registry;

  const auto second = test::writeFrames(registry, paths[0], 1, 55);
  EXPECT_EQ(frameCount(registry, other.c_str()), 0u);
  EXPECT_FALSE(writeFrame(registry, other.c_str(), FrameLayout::Fields422, test::all(second[0])));
  EXPECT_FALSE(frameGeometry(registry, other.c_str()).has_value());
  EXPECT_EQ(registry.openCount(), 1u);
  // Nothing was corrupted, and the first spelling still works.
  EXPECT_TRUE(frameMatches(registry, paths[0], 0, 100));
  EXPECT_TRUE(frameMatches(registry, paths[0], 1, 55));
}

TEST(OpenFileRegistry, FailedCloseEmptiesTheSlotAndReleasesTheLocks) {
  TempDir dir;
  FaultyStorage storage(diskStorage());
  const auto paths = makeFiles(dir, 2, storage);
  // The reopen after the failed close and paths[1]'s miss pick the same slot.
  seedWhere([](const auto& p) { return p[1] == p[2]; });
  OpenFileRegistry registry(storage);
  ASSERT_EQ(frameCount(registry, paths[0].c_str()), 1u);
  storage.failNextFrameClose();
  EXPECT_EQ(test::errorOf([&] { registry.closeByName(paths[0].c_str()); }),
            "Could not close the Win32 streaming file handle.");
  EXPECT_EQ(registry.openCount(), 0u);
  // Another thread can take the registry lock: it was released on the way out.
  std::thread([&] { EXPECT_EQ(frameCount(registry, paths[0].c_str()), 1u); }).join();
  EXPECT_EQ(registry.openCount(), 1u);

  // The same inside an eviction.
  storage.failNextFrameClose();
  EXPECT_THROW(frameCount(registry, paths[1].c_str()), EngineError);
  EXPECT_EQ(registry.openCount(), 0u) << "the evicted slot is empty, the new file not opened";
  std::thread([&] { EXPECT_TRUE(frameMatches(registry, paths[1], 0, 101)); }).join();
}

}  // namespace
}  // namespace corvane::qvf
