// Frames through the registry: the writer's exact header bytes, the position
// cache that spares the device its seeks, reads that run past the end,
// read-only files, and files larger than 4 GiB.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "qvf/memory_storage.h"
#include "qvf_test_support.h"

namespace corvane::qvf {
namespace {

using test::kSmallFieldBytes;
using test::patternFrame422;
using test::sameBytes;

constexpr std::uint32_t kBlock = 2 * kSmallFieldBytes;

std::vector<std::uint8_t> fromHex(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

TEST(QvfCreate, WritesTheExactHeadersThenWholeFrames) {
  test::TempDir dir;
  const std::string path = dir / "f.qvf";
  // One file header and two 4:2:2 stream headers, exactly as the writer lays them out.
  const struct {
    std::int32_t lines;
    float frameRate;
    const char* hex;
  } goldens[] = {
      {288, 25.0f,
       "464d545201000000000200000200000000a80c0000004842"
       "0100080000540600a0950000c0060000a005000020010000"
       "010008000054060060d60800c0060000a005000020010000"},
      {240, 29970026.0f / 1000000.0f,
       "464d5452010000000002000002000000008c0a009dc26f42"
       "010008000046050024870000b4060000a0050000f0000000"
       "0100080000460500106a0700b4060000a0050000f0000000"},
  };
  for (const auto& golden : goldens) {
    create(path.c_str(), 2, 0, 720, golden.lines, golden.frameRate);
    EXPECT_EQ(test::readFileBytes(path), fromHex(golden.hex)) << golden.lines;
  }

  OpenFileRegistry registry;
  const auto frames = test::writeFrames(registry, path, 1, 1, test::kFullFieldBytes);
  ASSERT_TRUE(registry.closeByName(path.c_str()));
  const std::vector<std::uint8_t> bytes = test::readFileBytes(path);
  ASSERT_EQ(bytes.size(), 512u + 691200u);
  EXPECT_EQ(std::vector(bytes.begin(), bytes.begin() + 72), fromHex(goldens[1].hex));
  EXPECT_TRUE(std::all_of(bytes.begin() + 72, bytes.begin() + 512, [](std::uint8_t b) { return b == 0; }));
  EXPECT_TRUE(sameBytes(frames[0], &bytes[512]));
}

TEST(QvfContainer, OnlyWholeFrameBlocksCount) {
  EXPECT_EQ(frameCountFor(512 + 2 * 691200 - 1, 512, 691200), 1u);
  EXPECT_EQ(frameCountFor(1 << 20, 512, 0), 0u);  // a damaged header: no division by zero
}

// In memory: the engine's arithmetic and caching, whatever the disk does.
class FrameIo : public ::testing::Test {
 protected:
  void SetUp() override { test::createSmall(path_, storage_); }
  const char* path() const { return path_.c_str(); }
  StreamingFile& file() { return registry_.access(path())->stream->file(); }

  MemoryStorage storage_;
  std::string path_ = "clip.qvf";
  OpenFileRegistry registry_{storage_};
  platform::PageBuffer frame_{kBlock};
};

// The device costs per request: a frame takes one seek, the next frame none,
// and no transfer skips a seek to a position the cache cannot vouch for.
TEST_F(FrameIo, ThePositionCacheSkipsOnlyTheSeeksItCanVouchFor) {
  test::writeFrames(registry_, path_, 3);
  ASSERT_TRUE(registry_.closeByName(path()));
  ASSERT_TRUE(readFrame(registry_, path(), 1, FrameLayout::Fields422, frame_.bytes()));
  EXPECT_EQ(file().seekCount(), 1u);
  ASSERT_TRUE(readFrame(registry_, path(), 2, FrameLayout::Fields422, frame_.bytes()));
  EXPECT_EQ(file().seekCount(), 1u) << "frame 2 starts where frame 1 ended";

  ASSERT_TRUE(appendFrameRaw(registry_, path(), patternFrame422(kSmallFieldBytes, 11).bytes()));
  EXPECT_EQ(file().seekCount(), 1u) << "the append followed frame 2 without a seek";
  EXPECT_EQ(file().cachedPosition(), kInvalidPosition);
  // Frame 4 starts exactly where the unpositioned append ended; it must still seek.
  EXPECT_FALSE(registry_.access(path())->stream->readField(8, 0, frame_.bytes()));  // past the end
  EXPECT_EQ(file().seekCount(), 2u);

  EXPECT_FALSE(file().seekTo(0x8000'0000'0000'0000ull));
  EXPECT_FALSE(file().seekTo(0x8000'0000'0000'0000ull));
  EXPECT_EQ(file().seekCount(), 4u) << "a failed seek is tried again, never skipped";
  EXPECT_EQ(file().cachedPosition(), kInvalidPosition);
}

TEST_F(FrameIo, AReadPastTheEndFailsButAdvancesTheCacheByWhatWasRead) {
  test::writeFrames(registry_, path_, 1);
  const platform::PageBuffer field = patternFrame422(kSmallFieldBytes / 2, 7);
  {
    auto entry = registry_.access(path());
    ASSERT_TRUE(entry->stream->writeField(2, 0, field.bytes()));  // field 0 of frame 1; field 1 is missing
    StreamingFile& file = entry->stream->file();
    EXPECT_FALSE(file.readAt(512 + kBlock, frame_.bytes().first(kBlock)));
    EXPECT_EQ(file.cachedPosition(), 512u + kBlock + kSmallFieldBytes);
  }
  EXPECT_FALSE(readFrame(registry_, path(), 1, FrameLayout::Fields422, frame_.bytes()));
  EXPECT_TRUE(sameBytes(field, frame_.data())) << "the whole first field is delivered all the same";
}

// Root ignores permission bits: the file is made immutable as well.
struct ReadOnlyFile {
  explicit ReadOnlyFile(std::string file) : path(std::move(file)) {
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    immutable = std::system(("chattr +i '" + path + "' 2>/dev/null").c_str()) == 0;
  }
  ~ReadOnlyFile() {
    if (immutable) std::system(("chattr -i '" + path + "' 2>/dev/null").c_str());
  }
  std::string path;
  bool immutable = false;
};

// A file without write permission opens through the read-only attempt.
TEST(FrameIoReadOnly, AReadOnlyFileReadsAndSharesButRefusesEveryWrite) {
  test::TempDir dir;
  const std::string path = dir / "clip.qvf";
  test::createSmall(path);
  OpenFileRegistry registry;
  const auto frames = test::writeFrames(registry, path, 2);
  ASSERT_TRUE(registry.closeByName(path.c_str()));
  const ReadOnlyFile readOnly(path);
  if (std::ofstream(path, std::ios::app)) GTEST_SKIP() << "no way to make a read-only file here";
  EXPECT_TRUE(test::frameMatches(registry, path, 1, 1));
  EXPECT_EQ(registry.access(path.c_str())->stream->file().openAttempt(),
            StreamOpenAttempt::ReadOnlyUnbuffered);
  OpenFileRegistry other;
  EXPECT_EQ(frameCount(other, path.c_str()), 2u) << "readers share";
  std::vector<std::uint8_t> frame(4 * kSmallFieldBytes, 50);
  for (FrameLayout layout : {FrameLayout::Fields422, FrameLayout::Ycbcr444, FrameLayout::Bgra32})
    EXPECT_FALSE(writeFrame(registry, path.c_str(), layout, frame));
  EXPECT_FALSE(appendFrameRaw(registry, path.c_str(), frames[0].bytes()));
  EXPECT_EQ(frameCount(registry, path.c_str()), 2u);
}

TEST(FrameIoLarge, FramesAbove4GiBAreAddressedIn64Bits) {
  test::TempDir dir;
  const std::string path = dir / "large.qvf";
  create(path.c_str(), 2, 0, 720, 240, 29.97f);
  constexpr std::uint32_t kFrame = 6300;  // block starts at 4,354,560,512
  constexpr std::uint64_t kFullBlock = 691200;
  std::filesystem::resize_file(path, 512 + kFrame * kFullBlock);  // sparse
  OpenFileRegistry registry;
  ASSERT_EQ(frameCount(registry, path.c_str()), kFrame);
  test::writeFrames(registry, path, 1, 42, test::kFullFieldBytes);
  EXPECT_EQ(std::filesystem::file_size(path), 512 + (kFrame + 1) * kFullBlock);

  ASSERT_TRUE(registry.closeByName(path.c_str()));
  EXPECT_TRUE(test::frameMatches(registry, path, kFrame, 42, test::kFullFieldBytes));
}

}  // namespace
}  // namespace corvane::qvf
