// The validating open refuses every damaged header with its own message, in
// a fixed order, and the registry turns any refusal into "not open" without
// keeping anything of the failed attempt.
#include <gtest/gtest.h>

#include <functional>

#include "engine/error.h"
#include "qvf/reader.h"
#include "qvf/registry.h"
#include "qvf_test_support.h"

namespace corvane::qvf {
namespace {

using test::headerBytes;
using test::smallVideoStream;
using test::TempDir;

struct DamagedHeader {
  const char* name;
  std::function<std::vector<std::uint8_t>()> bytes;
  const char* message;
};

QvfFileHeader smallHeader(std::uint32_t streams) {
  QvfFileHeader header;
  header.streamCount = streams;
  header.frameBlockSize = streams * test::kSmallFieldBytes;
  return header;
}

std::vector<std::uint8_t> withStreams(std::vector<QvfStreamHeader> streams) {
  return headerBytes(smallHeader(static_cast<std::uint32_t>(streams.size())), streams);
}

QvfStreamHeader ofType(std::int16_t type) {
  QvfStreamHeader stream = smallVideoStream();
  stream.streamType = type;
  return stream;
}

std::vector<DamagedHeader> damagedHeaders() {
  const QvfStreamHeader video = smallVideoStream();
  return {
      {"short file header", [] { return std::vector<std::uint8_t>{'F', 'M', 'T', 'R', 1, 0, 0}; },
       "Could not read file header."},
      {"wrong magic",
       [=] {
         auto bytes = withStreams({video, video});
         bytes[3] = 'X';
         return bytes;
       },
       "This is not an QVF file."},
      {"type 2 file",
       [=] {
         auto bytes = withStreams({video, video});
         bytes[QvfFileHeader::kFileTypeOffset] = 2;
         return bytes;
       },
       "This reader can only read QVF type 1 files."},
      {"no streams", [] { return headerBytes(smallHeader(0), {}); }, "There are no streams in the file."},
      {"negative stream count",
       [=] {
         auto header = smallHeader(2);
         header.streamCount = 0x8000'0000;
         return headerBytes(header, {video, video});
       },
       "Cannot allocate required memory."},
      {"fewer stream headers than counted",
       [=] {
         auto header = smallHeader(3);
         return headerBytes(header, {video, video});
       },
       "Cannot read input stream header."},
      {"huge stream count in a short file",
       [=] {
         auto header = smallHeader(2);
         header.streamCount = 0x7FFF'FFFF;
         return headerBytes(header, {video, video});
       },
       "Cannot read input stream header."},
      {"type 0 among valid streams",
       [=] {
         return withStreams({video, ofType(0), video});
       },
       "Unknown Video Streaming Type"},
      {"type 0 wins over an odd count",
       [=] {
         return withStreams({video, video, video, ofType(0)});
       },
       "Unknown Video Streaming Type"},
      {"one audio stream",
       [=] {
         return withStreams({video, ofType(2), video});
       },
       "There are an odd number of audio streams in the QVF file."},
      {"three video streams",
       [=] {
         return withStreams({video, video, video});
       },
       "There are an odd number of video streams in the QVF file."},
      {"odd audio is reported before odd video",
       [=] {
         return withStreams({video, ofType(2)});
       },
       "There are an odd number of audio streams in the QVF file."},
      {"two audio streams",
       [=] {
         return withStreams({video, video, ofType(2), ofType(2)});
       },
       "Unknown Audio SubType"},
      {"video subtype 10",
       [=] {
         QvfStreamHeader bad = video;
         bad.subtype = 10;
         bad.chunkSize = 345601;  // the subtype is looked at first
         return withStreams({video, bad});
       },
       "Unknown Video SubType"},
      {"chunk size off the sector grid",
       [=] {
         QvfStreamHeader bad = video;
         bad.chunkSize = 345601;
         return withStreams({bad, video});
       },
       "Invalid chunk size in video stream."},
      {"audio after a bad video subtype is not reached",
       [=] {
         QvfStreamHeader bad = video;
         bad.subtype = 9;
         return withStreams({bad, video, ofType(2), ofType(2)});
       },
       "Unknown Video SubType"},
  };
}

TEST(ValidatingOpen, EachDamageHasItsOwnMessage) {
  TempDir dir;
  for (const DamagedHeader& damaged : damagedHeaders()) {
    SCOPED_TRACE(damaged.name);
    const std::string path = dir / "damaged.qvf";
    test::writeFileBytes(path, damaged.bytes());
    try {
      openQvfStream(path.c_str());
      ADD_FAILURE() << "opened";
    } catch (const EngineError& error) {
      EXPECT_STREQ(error.what(), damaged.message);
    }
  }
}

TEST(ValidatingOpen, ReportsAMissingFile) {
  TempDir dir;
  try {
    openQvfStream((dir / "nothing.qvf").c_str());
    FAIL() << "opened";
  } catch (const EngineError& error) {
    EXPECT_STREQ(error.what(), "Could not open the file.");
  }
}

TEST(ValidatingOpen, RegistryKeepsNothingOfARefusedFile) {
  TempDir dir;
  OpenFileRegistry registry;
  const std::string good = dir / "good.qvf";
  test::createSmall(good);
  ASSERT_EQ(frameCount(registry, good.c_str()), 0u);  // opens it
  ASSERT_EQ(registry.openCount(), 1u);

  for (const DamagedHeader& damaged : damagedHeaders()) {
    SCOPED_TRACE(damaged.name);
    const std::string path = dir / (std::string(damaged.name) + ".qvf");
    test::writeFileBytes(path, damaged.bytes());
    std::uint8_t frame[64];
    EXPECT_EQ(frameCount(registry, path.c_str()), 0u);
    EXPECT_FALSE(frameGeometry(registry, path.c_str()).has_value());
    EXPECT_FALSE(readFrameBgra(registry, path.c_str(), 0, frame));
    EXPECT_FALSE(registry.closeByName(path.c_str()));
    EXPECT_LE(registry.openCount(), 1u);
    // A refused open leaves no handle behind: the file can be rewritten at once.
    create(path.c_str(), 2, 0, test::kSmallWidth, test::kSmallLines, 25.0f);
    EXPECT_TRUE(frameGeometry(registry, path.c_str()).has_value()) << "a repaired file opens on the next try";
    registry.closeByName(path.c_str());
  }
}

TEST(ValidatingOpen, RecognitionLooksAtTheFirstFourBytesOnly) {
  TempDir dir;
  const std::string path = dir / "type2.qvf";
  auto bytes = headerBytes(smallHeader(2), {smallVideoStream(), smallVideoStream()});
  bytes[QvfFileHeader::kFileTypeOffset] = 2;
  test::writeFileBytes(path, bytes);
  EXPECT_TRUE(isQvfFile(path.c_str()));
  OpenFileRegistry registry;
  EXPECT_FALSE(frameGeometry(registry, path.c_str()).has_value());

  test::writeFileBytes(path, {'F', 'M', 'T'});
  EXPECT_FALSE(isQvfFile(path.c_str()));
  test::writeFileBytes(path, {'F', 'M', 'T', 'S', 0});
  EXPECT_FALSE(isQvfFile(path.c_str()));
  test::writeFileBytes(path, {'F', 'M', 'T', 'R'});
  EXPECT_TRUE(isQvfFile(path.c_str()));
  EXPECT_FALSE(isQvfFile((dir / "absent").c_str()));
}

TEST(ValidatingOpen, SkippedStreamTypesTakeNoRoomInTheAddressing) {
  TempDir dir;
  const std::string path = dir / "skip.qvf";
  QvfStreamHeader video = smallVideoStream();
  QvfStreamHeader first = video;
  first.chunkSize = 1024;  // bigger than its field
  QvfStreamHeader skipped = ofType(7);
  skipped.chunkSize = 4096;
  QvfStreamHeader negative = ofType(-1);
  negative.chunkSize = 512;
  QvfFileHeader header = smallHeader(4);
  header.dataOffset = 1024;
  header.frameBlockSize = 1024 + 512;
  test::writeFileBytes(path, headerBytes(header, {skipped, first, negative, video}));

  const std::unique_ptr<QvfStream> stream = openQvfStream(path.c_str());
  ASSERT_EQ(stream->videoStreamCount, 2);
  ASSERT_EQ(stream->videoContexts.size(), 2u);
  EXPECT_EQ(stream->video(0)->base, 1024u);
  EXPECT_EQ(stream->video(1)->base, 1024u + 1024u);
  EXPECT_EQ(stream->video(0)->stride, 1536u);
  EXPECT_EQ(stream->video(1)->positionOf(3), 2048u + 3u * 1536u);
  EXPECT_EQ(stream->video(0)->width, test::kSmallWidth);
  EXPECT_EQ(stream->video(0)->sampleDepth(), 8u);
  EXPECT_EQ(stream->sectorSize, 512u);
}

}  // namespace
}  // namespace corvane::qvf
