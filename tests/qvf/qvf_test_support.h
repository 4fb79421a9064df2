// Scratch directories, small QVF files and predictable slot picks for the
// file engine tests.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/memory.h"
#include "qvf/container.h"
#include "qvf/writer.h"

namespace corvane::qvf::test {

// A fresh directory under the system's temp dir, removed with its contents.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-qvf-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::vector<std::uint8_t> readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The small geometry most tests use: a 16 x 16 field fills one 512-byte
// chunk exactly, so frame blocks are 1024 bytes.
inline constexpr std::int32_t kSmallWidth = 16;
inline constexpr std::int32_t kSmallLines = 16;
inline constexpr std::uint32_t kSmallFieldBytes = kSmallWidth * kSmallLines * 2;

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

inline void createSmall(const std::string& path) {
  create(path.c_str(), 2, 0, kSmallWidth, kSmallLines, 29.970026f);
}

// Header bytes of a file with the given stream headers and nothing else.
inline std::vector<std::uint8_t> headerBytes(const QvfFileHeader& header,
                                             const std::vector<QvfStreamHeader>& streams) {
  std::vector<std::uint8_t> bytes;
  const auto fileBytes = header.encode();
  bytes.insert(bytes.end(), fileBytes.begin(), fileBytes.end());
  for (const QvfStreamHeader& stream : streams) {
    const auto streamBytes = stream.encode();
    bytes.insert(bytes.end(), streamBytes.begin(), streamBytes.end());
  }
  return bytes;
}

inline QvfStreamHeader smallVideoStream() {
  QvfStreamHeader stream;
  stream.streamType = static_cast<std::int16_t>(StreamType::Video);
  stream.subtype = kVideoSubtype422;
  stream.chunkSize = kSmallFieldBytes;
  stream.linePitch = 1716;
  stream.activeLineBytes = kSmallWidth * 2;
  stream.lines = kSmallLines;
  return stream;
}

// Makes a file read-only even for a privileged user (who ignores permission
// bits) by setting the immutable attribute; undone on destruction.
class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(std::string path) : path_(std::move(path)) {
    std::filesystem::permissions(path_,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    if (writable()) {
      immutable_ = std::system(("chattr +i '" + path_ + "' 2>/dev/null").c_str()) == 0;
    }
  }
  ~ReadOnlyFile() {
    if (immutable_) std::system(("chattr -i '" + path_ + "' 2>/dev/null").c_str());
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  bool writable() const {
    std::FILE* file = std::fopen(path_.c_str(), "r+b");
    if (file != nullptr) std::fclose(file);
    return file != nullptr;
  }

 private:
  std::string path_;
  bool immutable_ = false;
};

// The registry picks a slot with the process's rand() on every miss. Seeding
// it here makes the picks known in advance, so tests can say which entry a
// miss evicts.
class SlotPicks {
 public:
  explicit SlotPicks(unsigned seed, std::size_t count = 256) {
    std::srand(seed);
    for (std::size_t i = 0; i < count; ++i) picks_.push_back(static_cast<std::size_t>(std::rand()) & 7);
    std::srand(seed);
  }
  std::size_t operator[](std::size_t i) const { return picks_.at(i); }

  // A seed whose first count picks are all different.
  static unsigned seedWithDistinctPicks(std::size_t count) {
    for (unsigned seed = 1;; ++seed) {
      std::srand(seed);
      std::uint32_t seen = 0;
      bool distinct = true;
      for (std::size_t i = 0; i < count && distinct; ++i) {
        const std::uint32_t bit = 1u << (std::rand() & 7);
        distinct = (seen & bit) == 0;
        seen |= bit;
      }
      if (distinct) return seed;
    }
  }

 private:
  std::vector<std::size_t> picks_;
};

}  // namespace corvane::qvf::test
