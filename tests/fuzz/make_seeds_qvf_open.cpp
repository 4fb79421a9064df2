// make_seeds_qvf_open DIR: small files made by the writer (two frames each)
// and a few damaged headers, as the starting corpus of fuzz_qvf_open.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "engine/error.h"
#include "platform/memory.h"
#include "qvf/container.h"
#include "qvf/registry.h"
#include "qvf/writer.h"

namespace {

using namespace corvane;
using namespace corvane::qvf;

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void writeClip(const std::string& path, std::int32_t width, std::int32_t lines) {
  create(path.c_str(), 2, 0, width, lines, 25.0f);
  OpenFileRegistry registry;
  const std::uint32_t fieldBytes = static_cast<std::uint32_t>(width * lines * 2);
  platform::PageBuffer frame(fieldBytes + chunkSizeFor(width, lines));
  for (std::uint32_t n = 0; n < 2; ++n) {
    for (std::size_t i = 0; i < frame.size(); ++i)
      frame.data()[i] = static_cast<std::uint8_t>(i * 31 + n * 7);
    writeFrame(registry, path.c_str(), FrameLayout::Fields422, frame.bytes());
  }
}

QvfStreamHeader video(std::int32_t width, std::int32_t lines) {
  QvfStreamHeader stream;
  stream.streamType = static_cast<std::int16_t>(StreamType::Video);
  stream.subtype = kVideoSubtype422;
  stream.chunkSize = chunkSizeFor(width, lines);
  stream.linePitch = 1716;
  stream.activeLineBytes = static_cast<std::uint32_t>(width * 2);
  stream.lines = static_cast<std::uint32_t>(lines);
  return stream;
}

std::vector<std::uint8_t> headers(QvfFileHeader file, const std::vector<QvfStreamHeader>& streams,
                                  std::size_t padTo) {
  file.streamCount = static_cast<std::uint32_t>(streams.size());
  std::vector<std::uint8_t> bytes;
  const auto head = file.encode();
  bytes.insert(bytes.end(), head.begin(), head.end());
  for (const QvfStreamHeader& stream : streams) {
    const auto more = stream.encode();
    bytes.insert(bytes.end(), more.begin(), more.end());
  }
  if (bytes.size() < padTo) bytes.resize(padTo, 0x40);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  try {
    writeClip(dir + "/seed-16x2.qvf", 16, 2);
    writeClip(dir + "/seed-16x16.qvf", 16, 16);
    writeClip(dir + "/seed-18x3.qvf", 18, 3);
  } catch (const EngineError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }

  QvfFileHeader file;
  file.frameBlockSize = 1024;
  const QvfStreamHeader v = video(16, 16);
  QvfStreamHeader other = v;
  other.streamType = 7;
  QvfStreamHeader audio = v;
  audio.streamType = 2;
  QvfStreamHeader badSubtype = v;
  badSubtype.subtype = 10;
  QvfStreamHeader badChunk = v;
  badChunk.chunkSize = 345601;
  QvfStreamHeader wide = v;
  wide.activeLineBytes = 0xFFFF'FFF0;  // a width that does not fit its chunk

  const std::size_t twoFrames = 512 + 2 * 1024;
  writeBytes(dir + "/damaged-type2.qvf", [&] {
    auto bytes = headers(file, {v, v}, twoFrames);
    bytes[QvfFileHeader::kFileTypeOffset] = 2;
    return bytes;
  }());
  writeBytes(dir + "/damaged-three-video.qvf", headers(file, {v, v, v}, twoFrames));
  writeBytes(dir + "/damaged-audio.qvf", headers(file, {v, v, audio, audio}, twoFrames));
  writeBytes(dir + "/damaged-subtype.qvf", headers(file, {v, badSubtype}, twoFrames));
  writeBytes(dir + "/damaged-chunk.qvf", headers(file, {badChunk, v}, twoFrames));
  writeBytes(dir + "/skipped-stream.qvf", headers(file, {other, v, v}, twoFrames));
  writeBytes(dir + "/wide-stream.qvf", headers(file, {wide, v}, twoFrames));
  QvfFileHeader odd = file;
  odd.dataOffset = 100;  // off the sector grid
  writeBytes(dir + "/odd-data-offset.qvf", headers(odd, {v, v}, twoFrames));
  QvfFileHeader noStride = file;
  noStride.frameBlockSize = 0;
  writeBytes(dir + "/zero-frame-block.qvf", headers(noStride, {v, v}, twoFrames));
  return 0;
}
