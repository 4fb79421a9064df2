// The unbuffered handle: the three opens, the sharing rules between handles
// (whatever path names the file), counted seeks, short transfers, and free
// disk space.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/disk.h"
#include "platform/file.h"
#include "platform/memory.h"
#include "qvf_test_support.h"

namespace corvane::platform {
namespace {

using qvf::test::readFileBytes;
using qvf::test::ReadOnlyFile;
using qvf::test::TempDir;
using qvf::test::writeFileBytes;

std::vector<std::uint8_t> bytesOf(std::size_t count, std::uint8_t first) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(first + i * 7);
  return bytes;
}

TEST(StreamHandle, FirstOpenCreatesAndWrites) {
  TempDir dir;
  const std::string path = dir / "new.bin";
  StreamHandle handle = StreamHandle::open(path.c_str());
  ASSERT_TRUE(handle.isOpen());
  EXPECT_EQ(handle.attempt(), StreamOpenAttempt::ReadWriteUnbuffered);
  EXPECT_TRUE(handle.writable());
  PageBuffer block(1024);
  std::fill(block.data(), block.data() + 1024, 0x5A);
  ASSERT_TRUE(handle.seek(512));
  const Transfer written = handle.write(block.bytes());
  EXPECT_TRUE(written.ok);
  EXPECT_EQ(written.count, 1024u);
  EXPECT_EQ(handle.size(), 1536u);
  EXPECT_TRUE(handle.close());
  EXPECT_FALSE(handle.isOpen());
  const auto bytes = readFileBytes(path);
  ASSERT_EQ(bytes.size(), 1536u);
  EXPECT_EQ(bytes[511], 0);
  EXPECT_EQ(bytes[512], 0x5A);
}

TEST(StreamHandle, ShortReadAtTheEndIsACountNotAnError) {
  TempDir dir;
  const std::string path = dir / "short.bin";
  writeFileBytes(path, bytesOf(1536, 1));
  StreamHandle handle = StreamHandle::open(path.c_str());
  ASSERT_TRUE(handle.isOpen());
  PageBuffer buffer(1024);
  ASSERT_TRUE(handle.seek(1024));
  const Transfer read = handle.read(buffer.bytes());
  EXPECT_TRUE(read.ok);
  EXPECT_EQ(read.count, 512u);
  EXPECT_EQ(buffer.data()[0], static_cast<std::uint8_t>(1 + 1024 * 7));
  EXPECT_EQ(handle.read(buffer.bytes()).count, 0u);
}

TEST(StreamHandle, AScatterReadFillsItsBuffersInTurnAndStopsShortAtTheEnd) {
  TempDir dir;
  const std::string path = dir / "scatter.bin";
  writeFileBytes(path, bytesOf(2560, 3));
  StreamHandle handle = StreamHandle::open(path.c_str());
  ASSERT_TRUE(handle.isOpen());
  PageBuffer first(1024);
  PageBuffer second(2048);
  const std::span<std::uint8_t> both[2] = {first.bytes().first(1024), second.bytes().first(2048)};
  ASSERT_TRUE(handle.seek(0));
  const Transfer read = handle.readScatter(both);
  EXPECT_TRUE(read.ok);
  EXPECT_EQ(read.count, 2560u);  // the file ends 512 bytes into the second buffer
  EXPECT_EQ(first.data()[1023], static_cast<std::uint8_t>(3 + 1023 * 7));
  EXPECT_EQ(second.data()[0], static_cast<std::uint8_t>(3 + 1024 * 7));
  EXPECT_EQ(second.data()[1535], static_cast<std::uint8_t>(3 + 2559 * 7));
  EXPECT_EQ(second.data()[1536], 0);
  EXPECT_EQ(handle.readScatter(both).count, 0u);
}

TEST(StreamHandle, CountsEverySeekAndRefusesImpossiblePositions) {
  TempDir dir;
  const std::string path = dir / "seek.bin";
  writeFileBytes(path, bytesOf(512, 0));
  StreamHandle handle = StreamHandle::open(path.c_str());
  ASSERT_TRUE(handle.isOpen());
  EXPECT_EQ(handle.seekCount(), 0u);
  EXPECT_TRUE(handle.seek(0));
  EXPECT_TRUE(handle.seek(0));
  EXPECT_TRUE(handle.seek(0x1'0000'0200ull));  // beyond the end and above 4 GiB is a valid place
  EXPECT_FALSE(handle.seek(0x8000'0000'0000'0000ull));
  EXPECT_EQ(handle.seekCount(), 4u);
}

TEST(StreamHandle, OneWriterExcludesEveryOtherStreamingOpen) {
  TempDir dir;
  const std::string path = dir / "shared.bin";
  writeFileBytes(path, bytesOf(1024, 3));
  StreamHandle writer = StreamHandle::open(path.c_str());
  ASSERT_TRUE(writer.writable());

  // Another spelling, a symbolic link and a hard link all name the same file.
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_symlink(path, dir / "link.bin");
  std::filesystem::create_hard_link(path, dir / "hard.bin");
  for (const std::string& other : {path, dir / "sub/../shared.bin", dir / "link.bin", dir / "hard.bin"}) {
    SCOPED_TRACE(other);
    EXPECT_FALSE(StreamHandle::open(other.c_str()).isOpen());
    EXPECT_FALSE(BufferedFile::open(other.c_str(), "r+b"));
    EXPECT_FALSE(BufferedFile::open(other.c_str(), "wb"));
    BufferedFile reader = BufferedFile::open(other.c_str(), "rb");
    ASSERT_TRUE(reader);
    EXPECT_EQ(std::fgetc(reader.get()), 3);
  }
  EXPECT_EQ(readFileBytes(path).size(), 1024u) << "a refused \"wb\" truncated the file";

  ASSERT_TRUE(writer.close());
  StreamHandle next = StreamHandle::open((dir / "link.bin").c_str());
  EXPECT_TRUE(next.writable()) << "the lock went with the closed handle";
}

TEST(StreamHandle, BufferedWriterExcludesStreamingOpens) {
  TempDir dir;
  const std::string path = dir / "buffered.bin";
  writeFileBytes(path, bytesOf(512, 0));
  BufferedFile writer = BufferedFile::open(path.c_str(), "r+b");
  ASSERT_TRUE(writer);
  BufferedFile secondWriter = BufferedFile::open(path.c_str(), "r+b");
  EXPECT_TRUE(secondWriter) << "buffered writers share with each other";
  EXPECT_FALSE(StreamHandle::open(path.c_str()).isOpen());
  writer.close();
  secondWriter.close();
  EXPECT_TRUE(StreamHandle::open(path.c_str()).isOpen());
}

TEST(StreamHandle, ReadOnlyFileOpensThroughTheSecondAttempt) {
  TempDir dir;
  const std::string path = dir / "readonly.bin";
  writeFileBytes(path, bytesOf(1024, 9));
  ReadOnlyFile readOnly(path);
  if (readOnly.writable()) GTEST_SKIP() << "cannot make a read-only file here";

  StreamHandle first = StreamHandle::open(path.c_str());
  ASSERT_TRUE(first.isOpen());
  EXPECT_EQ(first.attempt(), StreamOpenAttempt::ReadOnlyUnbuffered);
  EXPECT_FALSE(first.writable());
  StreamHandle second = StreamHandle::open(path.c_str());
  EXPECT_TRUE(second.isOpen()) << "readers share";

  PageBuffer buffer(512);
  ASSERT_TRUE(first.seek(512));
  EXPECT_EQ(first.read(buffer.bytes()).count, 512u);
  EXPECT_EQ(buffer.data()[0], static_cast<std::uint8_t>(9 + 512 * 7));
  ASSERT_TRUE(first.seek(0));
  const Transfer write = first.write(buffer.bytes());
  EXPECT_FALSE(write.ok);
  EXPECT_EQ(write.count, 0u);
}

TEST(StreamHandle, InjectedCloseFailureStillReleasesTheFile) {
  TempDir dir;
  const std::string path = dir / "close.bin";
  StreamHandle handle = StreamHandle::open(path.c_str());
  ASSERT_TRUE(handle.isOpen());
  failNextStreamClose();
  EXPECT_FALSE(handle.close());
  EXPECT_FALSE(handle.isOpen());
  EXPECT_TRUE(StreamHandle::open(path.c_str()).writable());
  StreamHandle again = StreamHandle::open(path.c_str());
  EXPECT_TRUE(again.close()) << "the injected failure is used once";
}

TEST(FreeDiskBytes, LooksAtTheNearestExistingDirectory) {
  TempDir dir;
  const auto here = freeDiskBytes(dir.path().c_str());
  ASSERT_TRUE(here.has_value());
  EXPECT_GT(*here, 0u);
  const auto deep = freeDiskBytes((dir / "not/yet/made/file.qvf").c_str());
  ASSERT_TRUE(deep.has_value());
  // Same filesystem; allow for others writing meanwhile.
  EXPECT_NEAR(static_cast<double>(*deep), static_cast<double>(*here), 1e9);
  EXPECT_TRUE(freeDiskBytes("relative/missing/file.qvf").has_value());
  EXPECT_TRUE(freeDiskBytes("").has_value());
}

}  // namespace
}  // namespace corvane::platform
