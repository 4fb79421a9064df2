// Reading frames into host buffers: field 1 read even when field 0 fails,
// aligned and misaligned buffers agreeing, concurrent readers, and no
// allocation once the file is open. Sizes, the trailer word and both
// alignments of a 4:2:2 read are checked through the plug-in.
#include "input/frame_reading.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "qvf/qvf_test_support.h"
#include "qvf/writer.h"
#include "support/allocation_counter.h"

namespace corvane::input {
namespace {

using exports::PixelFormat;
using qvf::test::kSmallFieldBytes;

constexpr FrameSize kSmall{qvf::test::kSmallWidth, qvf::test::kSmallLines * 2};

bool readFrom(qvf::OpenFileRegistry& registry, const std::string& path, std::uint32_t n, PixelFormat format,
              std::span<std::uint8_t> buffer) {
  qvf::OpenFileRegistry::Access entry = registry.access(path.c_str());
  return entry && readFrame(*entry, n, format, buffer);
}

class FrameReading : public ::testing::Test {
 protected:
  void SetUp() override {
    qvf::test::createSmall(path_);
    for (std::uint32_t n = 0; n < 2; ++n) {
      frames_.push_back(qvf::test::patternFrame422(kSmallFieldBytes, n + 1));
      ASSERT_TRUE(
          qvf::writeFrame(registry_, path_.c_str(), qvf::FrameLayout::Fields422, frames_.back().bytes()));
    }
  }
  bool read(std::uint32_t n, PixelFormat format, std::span<std::uint8_t> buffer) {
    return readFrom(registry_, path_, n, format, buffer);
  }
  std::span<const std::uint8_t> written(std::uint32_t n) const { return frames_[n].bytes(); }

  qvf::test::TempDir dir_;
  std::string path_ = dir_ / "clip.qvf";
  qvf::OpenFileRegistry registry_;
  std::vector<platform::PageBuffer> frames_;
};

// Field 1 is read even when field 0 fails, whatever the buffer's alignment. A
// data offset just below 4 GiB wraps the 32-bit base of the second stream to
// 0, so field 0 lies past the end while field 1 is the file's first sector.
TEST(FrameReadingDamaged, Field1IsReadEvenWhenField0FailsAtAnyAlignment) {
  qvf::test::TempDir dir;
  const std::string path = dir / "wrapped.qvf";
  qvf::QvfFileHeader header;
  header.dataOffset = 0xFFFF'FE00;
  header.streamCount = 2;
  header.frameBlockSize = 2 * kSmallFieldBytes;
  std::vector<std::uint8_t> bytes =
      qvf::test::headerBytes(header, {qvf::test::smallStream(), qvf::test::smallStream()});
  for (std::size_t i = bytes.size(); i < 2 * kSmallFieldBytes; ++i)
    bytes.push_back(static_cast<std::uint8_t>(i * 7));
  qvf::test::writeFileBytes(path, bytes);
  qvf::OpenFileRegistry registry;
  const std::size_t size = requiredBufferBytes(PixelFormat::Ycbcr422, kSmall);
  platform::PageBuffer storage(2 * size + 64);
  for (std::size_t shift : {std::size_t{0}, size + 3}) {
    std::span<std::uint8_t> buffer = storage.bytes().subspan(shift, size);
    std::fill(buffer.begin(), buffer.end(), 0xEE);
    EXPECT_FALSE(readFrom(registry, path, 0, PixelFormat::Ycbcr422, buffer)) << "shift " << shift;
    EXPECT_TRUE(
        std::equal(bytes.begin(), bytes.begin() + kSmallFieldBytes, buffer.begin() + kSmallFieldBytes))
        << "shift " << shift;
  }
}

TEST_F(FrameReading, MisalignedAndAlignedReadsAgreeAndAllocateNothingOnceOpen) {
  const std::size_t bytes = requiredBufferBytes(PixelFormat::Ycbcr444, kSmall);
  platform::PageBuffer storage(2 * bytes + 64);
  std::span<std::uint8_t> aligned = storage.bytes().first(bytes);
  std::span<std::uint8_t> misaligned = storage.bytes().subspan(bytes + 3, bytes);
  // Warm-up: opens the file and lets the colour conversion pick its kernel.
  for (PixelFormat format : {PixelFormat::Ycbcr422, PixelFormat::Ycbcr444, PixelFormat::Rgba32})
    ASSERT_TRUE(read(0, format, aligned.first(requiredBufferBytes(format, kSmall))));
  const std::size_t before = corvane::testing::allocationCount();
  for (PixelFormat format : {PixelFormat::Ycbcr422, PixelFormat::Ycbcr444, PixelFormat::Rgba32}) {
    const std::size_t size = requiredBufferBytes(format, kSmall);
    ASSERT_TRUE(read(1, format, aligned.first(size)));
    ASSERT_TRUE(read(1, format, misaligned.first(size)));
    EXPECT_TRUE(std::equal(aligned.begin(), aligned.begin() + static_cast<long>(size), misaligned.begin()));
  }
  EXPECT_EQ(corvane::testing::allocationCount(), before);
}

// Misaligned reads share the entry's chunk buffers: two threads reading
// different frames of one file must each get their own frame.
TEST_F(FrameReading, ConcurrentMisalignedReadsOfOneFileGetTheirOwnFrames) {
  const std::size_t bytes = requiredBufferBytes(PixelFormat::Ycbcr422, kSmall);
  auto reader = [&](std::uint32_t n, bool& allRight) {
    std::vector<std::uint8_t> storage(bytes + 1);
    const std::span<std::uint8_t> buffer = std::span(storage).subspan(1);
    allRight = true;
    for (int i = 0; i < 200 && allRight; ++i)
      allRight = read(n, PixelFormat::Ycbcr422, buffer) &&
                 std::equal(written(n).begin(), written(n).end(), buffer.begin());
  };
  bool first = false, second = false;
  std::thread a(reader, 0, std::ref(first));
  std::thread b(reader, 1, std::ref(second));
  a.join();
  b.join();
  EXPECT_TRUE(first);
  EXPECT_TRUE(second);
}

}  // namespace
}  // namespace corvane::input
