// The table of open files: eviction by the process's rand() pick, appends
// after a reopen, the other names of an open file, and failed closes that
// must leave the table usable.
#include "qvf/registry.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <thread>

#include "qvf/faulty_storage.h"
#include "qvf/validating_open.h"
#include "qvf_test_support.h"

namespace corvane::qvf {
namespace {

using test::frameMatches;
using test::kSmallFieldBytes;
using test::TempDir;

// Seeds rand() with the first seed whose next count slot picks, as the
// registry's misses make them, satisfy accept; returns those picks.
template <typename Accept>
std::vector<std::size_t> seedWhere(std::size_t count, Accept accept) {
  for (unsigned seed = 1;; ++seed) {
    std::srand(seed);
    std::vector<std::size_t> picks;
    for (std::size_t i = 0; i < count; ++i) picks.push_back(static_cast<std::size_t>(std::rand()) & 7);
    std::srand(seed);
    if (accept(picks)) return picks;
  }
}

// count one-frame files; frame 0 of file i has seed 100 + i.
std::vector<std::string> makeFiles(const TempDir& dir, std::uint32_t count,
                                   Storage& storage = diskStorage()) {
  std::vector<std::string> paths;
  OpenFileRegistry writer(storage);
  for (std::uint32_t i = 0; i < count; ++i) {
    paths.push_back(dir / ("f" + std::to_string(i) + ".qvf"));
    test::createSmall(paths.back(), storage);
    test::writeFrames(writer, paths.back(), 1, 100 + i);
  }
  return paths;
}

TEST(OpenFileRegistry, NineFilesInTurnEvictAndReopenWithTheSameData) {
  TempDir dir;
  const auto paths = makeFiles(dir, 9);
  OpenFileRegistry registry;
  const auto picks = seedWhere(27, [](const auto&) { return true; });
  std::array<std::string, 8> slots;  // what the table should hold: a miss replaces the next picked slot
  std::size_t misses = 0;
  for (int round = 0; round < 3; ++round) {
    for (std::uint32_t i = 0; i < 9; ++i) {
      if (std::find(slots.begin(), slots.end(), paths[i]) == slots.end())
        slots[picks.at(misses++)] = paths[i];
      EXPECT_TRUE(frameMatches(registry, paths[i], 0, 100 + i)) << round << " " << i;
      EXPECT_EQ(registry.openCount(),
                8 - static_cast<std::size_t>(std::count(slots.begin(), slots.end(), "")));
    }
  }
}

// A reopened file's handle stands at offset 0: the capture's raw appends must
// still land at frame block n, never on the headers.
TEST(OpenFileRegistry, AppendsAfterAReopenLandAtTheNextFrameBlock) {
  TempDir dir;
  const std::string capture = dir / "capture.qvf";
  test::createSmall(capture);
  OpenFileRegistry registry;
  constexpr std::uint32_t kFrames = 6;
  for (std::uint32_t n = 0; n < kFrames; ++n) {
    if (n % 2 == 0) registry.closeByName(capture.c_str());  // as an eviction would
    ASSERT_TRUE(
        appendFrameRaw(registry, capture.c_str(), test::patternFrame422(kSmallFieldBytes, n).bytes()));
  }
  ASSERT_TRUE(registry.closeByName(capture.c_str()));
  EXPECT_TRUE(isQvfFile(capture.c_str())) << "an append landed on the headers";
  EXPECT_EQ(std::filesystem::file_size(capture), 512 + kFrames * 2 * kSmallFieldBytes);
  for (std::uint32_t n = 0; n < kFrames; ++n) EXPECT_TRUE(frameMatches(registry, capture, n, n)) << n;
}

// While one name holds a file, no other name of it (another spelling, a link)
// opens it or recreates it: nothing written through the first is lost.
TEST(OpenFileRegistry, NoOtherNameOfAnOpenFileCanTakeIt) {
  TempDir dir;
  const auto paths = makeFiles(dir, 1);
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_symlink(paths[0], dir / "link.qvf");
  std::filesystem::create_hard_link(paths[0], dir / "hard.qvf");
  // No later miss evicts the first entry.
  seedWhere(7, [](const auto& p) { return std::count(p.begin(), p.end(), p[0]) == 1; });
  OpenFileRegistry registry;
  const auto second = test::writeFrames(registry, paths[0], 1, 55);
  for (const std::string& other : {dir / "sub/../f0.qvf", dir / "link.qvf", dir / "hard.qvf"}) {
    SCOPED_TRACE(other);
    EXPECT_EQ(frameCount(registry, other.c_str()), 0u);
    EXPECT_FALSE(writeFrame(registry, other.c_str(), FrameLayout::Fields422, second[0].bytes()));
    EXPECT_EQ(test::errorOf([&] { test::createSmall(other); }), "Cannot open file for output.");
  }
  EXPECT_EQ(registry.openCount(), 1u);
  EXPECT_TRUE(frameMatches(registry, paths[0], 0, 100));
  EXPECT_TRUE(frameMatches(registry, paths[0], 1, 55));
}

TEST(OpenFileRegistry, FailedCloseEmptiesTheSlotAndReleasesTheLocks) {
  TempDir dir;
  FaultyStorage storage(diskStorage());
  const auto paths = makeFiles(dir, 2, storage);
  // The reopen after the failed close and paths[1]'s miss pick the same slot.
  seedWhere(3, [](const auto& p) { return p[1] == p[2]; });
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
