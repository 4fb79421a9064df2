// The files on disk: scatter reads, sharing through every name of a file,
// special files refused without blocking, and free disk space.
#include <gtest/gtest.h>

#include "platform/disk.h"
#include "platform/file.h"
#include "qvf/validating_open.h"
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

// The rules themselves are checked against the memory storage's in
// storage_test; here, that every name of the file is the same file.
TEST(StreamHandle, AWriterExcludesOpensThroughEveryNameOfItsFile) {
  TempDir dir;
  const std::string path = dir / "shared.bin";
  writeFileBytes(path, bytesOf(1024, 3));
  StreamHandle writer = StreamHandle::open(path.c_str());
  ASSERT_TRUE(writer.writable());
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_symlink(path, dir / "link.bin");
  std::filesystem::create_hard_link(path, dir / "hard.bin");
  for (const std::string& other : {dir / "sub/../shared.bin", dir / "link.bin", dir / "hard.bin"}) {
    SCOPED_TRACE(other);
    EXPECT_FALSE(StreamHandle::open(other.c_str()).isOpen());
    EXPECT_FALSE(BufferedFile::open(other.c_str(), "wb"));
    EXPECT_TRUE(BufferedFile::open(other.c_str(), "rb"));
  }
  EXPECT_EQ(readFileBytes(path).size(), 1024u) << "a refused \"wb\" truncated the file";
  ASSERT_TRUE(writer.close());
  EXPECT_TRUE(StreamHandle::open((dir / "link.bin").c_str()).writable())
      << "the lock went with the closed handle";
}

// Opening a FIFO that has no writer blocks until one comes; none of these
// opens may wait, and none may take anything but a regular file.
TEST(StreamHandle, OnlyRegularFilesOpenAndNoneWaitsForAPipe) {
  TempDir dir;
  const std::string fifo = dir / "pipe.qvf";
  ASSERT_EQ(std::system(("mkfifo '" + fifo + "'").c_str()), 0);
  for (const std::string& path : {fifo, dir.path(), std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(StreamHandle::open(path.c_str()).isOpen());
    for (const char* mode : {"rb", "r+b", "wb"}) EXPECT_FALSE(BufferedFile::open(path.c_str(), mode)) << mode;
    EXPECT_FALSE(qvf::isQvfFile(path.c_str()));
    EXPECT_EQ(qvf::test::errorOf([&] { qvf::openQvfStream(path.c_str()); }), "Could not open the file.");
    EXPECT_EQ(qvf::test::errorOf([&] { qvf::create(path.c_str(), 2, 0, 16, 16, 25.0f); }),
              "Cannot open file for output.");
  }
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
