// The unbuffered handle: scatter reads, the sharing rules between handles
// (whatever path names the file), and free disk space.
#include <gtest/gtest.h>

#include "platform/disk.h"
#include "platform/file.h"
#include "qvf_test_support.h"

namespace corvane::platform {
namespace {

using qvf::test::readFileBytes;
using qvf::test::TempDir;
using qvf::test::writeFileBytes;

// Byte i of the file is first + 7 i.
std::vector<std::uint8_t> bytesOf(std::size_t count, std::uint8_t first) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(first + i * 7);
  return bytes;
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
  EXPECT_TRUE(StreamHandle::open((dir / "link.bin").c_str()).writable())
      << "the lock went with the closed handle";

  // Buffered writers share with each other but exclude streaming opens.
  BufferedFile buffered = BufferedFile::open(path.c_str(), "r+b");
  BufferedFile secondBuffered = BufferedFile::open(path.c_str(), "r+b");
  ASSERT_TRUE(buffered && secondBuffered);
  EXPECT_FALSE(StreamHandle::open(path.c_str()).isOpen());
  buffered.close();
  secondBuffered.close();
  EXPECT_TRUE(StreamHandle::open(path.c_str()).isOpen());
}

TEST(FreeDiskBytes, LooksAtTheNearestExistingDirectory) {
  TempDir dir;
  const auto here = freeDiskBytes(dir.path().c_str());
  const auto deep = freeDiskBytes((dir / "not/yet/made/file.qvf").c_str());
  ASSERT_TRUE(here.has_value() && deep.has_value());
  EXPECT_GT(*here, 0u);
  // Same filesystem; allow for others writing meanwhile.
  EXPECT_NEAR(static_cast<double>(*deep), static_cast<double>(*here), 1e9);
  EXPECT_TRUE(freeDiskBytes("relative/missing/file.qvf").has_value());
  EXPECT_TRUE(freeDiskBytes("").has_value());
}

}  // namespace
}  // namespace corvane::platform
