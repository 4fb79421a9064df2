// The validating open refuses every damaged header with its own message, in
// a fixed order, and the registry turns any refusal into "not open" without
// keeping anything of the failed attempt.
#include "qvf/validating_open.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "qvf/memory_storage.h"
#include "qvf_test_support.h"

namespace corvane::qvf {
namespace {

using test::errorOf;
using test::headerBytes;
using test::smallStream;

const QvfStreamHeader kVideo = smallStream();
const QvfStreamHeader kAudio = smallStream(2);

// Headers of a file whose header counts `count` streams; -1 counts the given ones.
std::vector<std::uint8_t> fileWith(const std::vector<QvfStreamHeader>& streams, std::int64_t count = -1) {
  QvfFileHeader header;
  header.streamCount = static_cast<std::uint32_t>(count < 0 ? streams.size() : count);
  header.frameBlockSize = static_cast<std::uint32_t>(streams.size()) * test::kSmallFieldBytes;
  return headerBytes(header, streams);
}

std::vector<std::uint8_t> patched(std::vector<std::uint8_t> bytes, std::size_t at, std::uint8_t value) {
  bytes[at] = value;
  return bytes;
}

QvfStreamHeader withGeometry(std::uint32_t width, std::uint32_t lines,
                             std::uint32_t chunkSize = test::kSmallFieldBytes) {
  QvfStreamHeader stream = smallStream(1, kVideoSubtype422, chunkSize);
  stream.activeLineBytes = width * 2;
  stream.lines = lines;
  return stream;
}

struct DamagedHeader {
  const char* name;
  std::vector<std::uint8_t> bytes;
  const char* message;
};

// Where two faults meet, the first message listed for the pair wins.
const DamagedHeader kDamaged[] = {
    {"short file header", {'F', 'M', 'T', 'R', 1, 0, 0}, "Could not read file header."},
    {"wrong magic", patched(fileWith({kVideo, kVideo}), 3, 'X'), "This is not an QVF file."},
    {"type 2 file", patched(fileWith({kVideo, kVideo}), QvfFileHeader::kFileTypeOffset, 2),
     "This reader can only read QVF type 1 files."},
    {"no streams", fileWith({}), "There are no streams in the file."},
    {"negative stream count", fileWith({kVideo, kVideo}, 0x8000'0000), "Cannot allocate required memory."},
    {"fewer stream headers than counted", fileWith({kVideo, kVideo}, 3), "Cannot read input stream header."},
    {"huge count in a short file", fileWith({kVideo, kVideo}, 0x7FFF'FFFF),
     "Cannot read input stream header."},
    {"type 0 before odd count", fileWith({kVideo, kVideo, kVideo, smallStream(0)}),
     "Unknown Video Streaming Type"},
    {"three video streams", fileWith({kVideo, kVideo, kVideo}),
     "There are an odd number of video streams in the QVF file."},
    {"odd audio before odd video", fileWith({kVideo, kAudio}),
     "There are an odd number of audio streams in the QVF file."},
    {"two audio streams", fileWith({kVideo, kVideo, kAudio, kAudio}), "Unknown Audio SubType"},
    {"subtype 10 before chunk size", fileWith({kVideo, smallStream(1, 10, 345601)}), "Unknown Video SubType"},
    {"chunk 345601", fileWith({smallStream(1, kVideoSubtype422, 345601), kVideo}),
     "Invalid chunk size in video stream."},
    {"bad video subtype before audio", fileWith({smallStream(1, 9), kVideo, kAudio, kAudio}),
     "Unknown Video SubType"},
    // These open, but there is no frame to show.
    {"no video pair", fileWith({smallStream(9)}), nullptr},
    {"empty field with 2^31 lines", fileWith({withGeometry(0, 0x7FFF'FFFF), kVideo}), nullptr},
    {"field larger than its chunk", fileWith({withGeometry(32, 16), kVideo}), nullptr},
    {"field larger than the second chunk", fileWith({kVideo, smallStream(1, kVideoSubtype422, 0)}), nullptr},
};

TEST(ValidatingOpen, EachDamageHasItsOwnMessageAndTheRegistryKeepsNothing) {
  MemoryStorage storage;
  OpenFileRegistry registry(storage);
  for (const DamagedHeader& damaged : kDamaged) {
    SCOPED_TRACE(damaged.name);
    const std::string path = std::string(damaged.name) + ".qvf";
    storage.setBytes(path, damaged.bytes);
    EXPECT_EQ(errorOf([&] { openQvfStream(storage, path.c_str()); }),
              damaged.message ? damaged.message : "(no error)");

    std::uint8_t frame[64];
    EXPECT_EQ(frameCount(registry, path.c_str()), 0u);
    EXPECT_FALSE(readFrame(registry, path.c_str(), 0, FrameLayout::Bgra32, frame));
    EXPECT_EQ(registry.openCount(), 0u);
    // A refused open leaves no handle behind: the file can be rewritten and opened at once.
    create(storage, path.c_str(), 2, 0, test::kSmallWidth, test::kSmallLines, 25.0f);
    EXPECT_TRUE(frameGeometry(registry, path.c_str()).has_value());
    registry.closeByName(path.c_str());
  }
}

TEST(ValidatingOpen, SkippedStreamTypesTakeNoRoomInTheAddressing) {
  MemoryStorage storage;
  const std::string path = "skip.qvf";
  QvfFileHeader header;
  header.streamCount = 4;
  header.dataOffset = 1024;
  header.frameBlockSize = 1024 + 512;
  // The first video chunk is bigger than its field.
  storage.setBytes(path, headerBytes(header, {smallStream(7, kVideoSubtype422, 4096),
                                              smallStream(1, kVideoSubtype422, 1024),
                                              smallStream(-1, kVideoSubtype422, 512), kVideo}));
  const std::unique_ptr<QvfStream> stream = openQvfStream(storage, path.c_str());
  ASSERT_EQ(stream->videoStreamCount(), 2);
  EXPECT_EQ(stream->video(0)->base, 1024u);
  EXPECT_EQ(stream->video(1)->positionOf(3), 2048u + 3u * 1536u);
  EXPECT_EQ(stream->video(0)->width, test::kSmallWidth);
}

// The largest virtual size the process has had, from the kernel's report;
// nullopt where there is none.
std::optional<std::uint64_t> peakVirtualBytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmPeak:", 0) == 0) return std::stoull(line.substr(7)) * 1024;
  return std::nullopt;
}

// A 4 KB file claiming 1 GiB chunks once made a host export grow to 1 GB.
// Whatever the header says, an open claims little memory, and nothing at all
// before the headers are checked.
TEST(ValidatingOpen, ChunkBuffersAreBoundedBeforeAnyIsAllocated) {
  const auto pair = [](std::uint32_t width, std::uint32_t lines, std::uint32_t chunkSize) {
    return fileWith({withGeometry(width, lines, chunkSize), withGeometry(width, lines, chunkSize)});
  };
  const DamagedHeader cases[] = {
      {"1 GiB chunks", pair(720, 240, 1u << 30), "Invalid chunk size in video stream."},
      {"padded by the most allowed", pair(720, 240, 345600 + kMaxChunkPadding), nullptr},
      {"padded by a sector more", pair(720, 240, 345600 + kMaxChunkPadding + 512),
       "Invalid chunk size in video stream."},
      {"1920 x 540 fields", pair(1920, 540, 2073600), nullptr},
      {"2048 x 540 fields", pair(2048, 540, 2211840),
       "Cannot allocate required video memory for stream context."},
      {"2^20 x 512 fields", pair(1u << 20, 512, 1u << 30),
       "Cannot allocate required video memory for stream context."},
  };
  MemoryStorage storage;
  const std::optional<std::uint64_t> peakBefore = peakVirtualBytes();
  for (const auto& hostile : cases) {
    SCOPED_TRACE(hostile.name);
    storage.setBytes("hostile.qvf", hostile.bytes);
    EXPECT_EQ(errorOf([&] { openQvfStream(storage, "hostile.qvf"); }),
              hostile.message ? hostile.message : "(no error)");
  }
  EXPECT_LT(peakBefore ? *peakVirtualBytes() - *peakBefore : 0, 256u << 20) << "a refused open allocated";
}

}  // namespace
}  // namespace corvane::qvf
