// Scratch directories, small QVF files and frame patterns for the file engine
// tests (the input and output tests use them too).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "engine/error.h"
#include "platform/memory.h"
#include "qvf/container.h"
#include "qvf/reader.h"
#include "qvf/registry.h"
#include "qvf/writer.h"
#include "support/temp_dir.h"

namespace corvane::qvf::test {

using corvane::testing::TempDir;

inline std::vector<std::uint8_t> readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The message of the EngineError that f throws, or "(no error)".
template <typename F>
std::string errorOf(F&& f) {
  try {
    f();
  } catch (const EngineError& error) {
    return error.what();
  }
  return "(no error)";
}

// A 16 x 16 field fills one 512-byte chunk exactly: frame blocks are 1024 bytes.
inline constexpr std::uint32_t kSmallWidth = 16;
inline constexpr std::uint32_t kSmallLines = 16;
inline constexpr std::uint32_t kSmallFieldBytes = kSmallWidth * kSmallLines * 2;
inline constexpr std::uint32_t kFullFieldBytes = 720 * 240 * 2;

inline void createSmall(const std::string& path, Storage& storage = diskStorage()) {
  create(storage, path.c_str(), 2, 0, kSmallWidth, kSmallLines, 29.970026f);
}

// A sector-aligned 4:2:2 frame (two fields) whose bytes depend on seed and
// position and never exceed 254.
inline platform::PageBuffer patternFrame422(std::uint32_t fieldBytes, std::uint32_t seed) {
  platform::PageBuffer frame(std::size_t{fieldBytes} * 2);
  std::uint32_t state = seed * 2654435761u + 12345u;
  for (std::uint8_t& byte : frame.bytes()) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>((state >> 16) % 255);
  }
  return frame;
}

inline bool sameBytes(const platform::PageBuffer& expected, const std::uint8_t* got) {
  return std::equal(expected.bytes().begin(), expected.bytes().end(), got);
}

// Writes count pattern frames of seeds seed, seed + 1, ... and returns them.
inline std::vector<platform::PageBuffer> writeFrames(OpenFileRegistry& registry, const std::string& path,
                                                     std::uint32_t count, std::uint32_t seed = 0,
                                                     std::uint32_t fieldBytes = kSmallFieldBytes) {
  std::vector<platform::PageBuffer> frames;
  for (std::uint32_t i = 0; i < count; ++i) {
    frames.push_back(patternFrame422(fieldBytes, seed + i));
    EXPECT_TRUE(writeFrame(registry, path.c_str(), FrameLayout::Fields422, frames.back().bytes())) << i;
  }
  return frames;
}

// Frame n reads back as the pattern frame of the given seed.
inline bool frameMatches(OpenFileRegistry& registry, const std::string& path, std::uint32_t n,
                         std::uint32_t seed, std::uint32_t fieldBytes = kSmallFieldBytes) {
  platform::PageBuffer buffer(std::size_t{fieldBytes} * 2);
  return readFrame(registry, path.c_str(), n, FrameLayout::Fields422, buffer.bytes()) &&
         sameBytes(patternFrame422(fieldBytes, seed), buffer.data());
}

// Header bytes of a file with the given stream headers and nothing else.
inline std::vector<std::uint8_t> headerBytes(const QvfFileHeader& header,
                                             const std::vector<QvfStreamHeader>& streams) {
  const auto fileBytes = header.encode();
  std::vector<std::uint8_t> bytes(fileBytes.begin(), fileBytes.end());
  for (const QvfStreamHeader& stream : streams) {
    const auto streamBytes = stream.encode();
    bytes.insert(bytes.end(), streamBytes.begin(), streamBytes.end());
  }
  return bytes;
}

inline QvfStreamHeader smallStream(std::int16_t type = static_cast<std::int16_t>(StreamType::Video),
                                   std::uint16_t subtype = kVideoSubtype422,
                                   std::uint32_t chunkSize = kSmallFieldBytes) {
  QvfStreamHeader stream;
  stream.streamType = type;
  stream.subtype = subtype;
  stream.chunkSize = chunkSize;
  stream.linePitch = 1716;
  stream.activeLineBytes = kSmallWidth * 2;
  stream.lines = kSmallLines;
  return stream;
}

}  // namespace corvane::qvf::test
