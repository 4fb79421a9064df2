// QVF files built byte by byte for the black-box tests, independent of the
// plug-in's own writer: the 72 header bytes, zeros up to 512, then frame
// blocks of two 720-pixel fields with a known pattern.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace corvane::abi {

// The value of byte i of field f (0 or 1) of frame n; never above 250.
inline std::uint8_t clipByte(std::uint32_t n, std::uint32_t f, std::size_t i) {
  return static_cast<std::uint8_t>((i * 31 + f * 7 + n * 13) % 251);
}

inline void putU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A 720-pixel file with linesPerField lines per field, frames frames and the
// given field-rate bit pattern (0x426FC29D is 59.94, 0x42480000 is 50).
inline void writeQvfClip(const std::filesystem::path& path, std::uint32_t linesPerField, std::uint32_t frames,
                         std::uint32_t fieldRateBits) {
  const std::uint32_t fieldBytes = 720 * 2 * linesPerField;  // a multiple of 512 at 240 and 288
  std::vector<std::uint8_t> bytes(512, 0);
  bytes[0] = 'F', bytes[1] = 'M', bytes[2] = 'T', bytes[3] = 'R';
  putU32(bytes, 4, 1);
  putU32(bytes, 8, 512);
  putU32(bytes, 12, 2);
  putU32(bytes, 16, 2 * fieldBytes);
  putU32(bytes, 20, fieldRateBits);
  for (std::uint32_t s = 0; s < 2; ++s) {
    const std::size_t at = 24 + 24 * s;
    bytes[at] = 1;      // video
    bytes[at + 2] = 8;  // 8-bit 4:2:2
    putU32(bytes, at + 4, fieldBytes);
    putU32(bytes, at + 12, linesPerField < 241 ? 1716 : 1728);
    putU32(bytes, at + 16, 720 * 2);
    putU32(bytes, at + 20, linesPerField);
  }
  for (std::uint32_t n = 0; n < frames; ++n)
    for (std::uint32_t f = 0; f < 2; ++f)
      for (std::size_t i = 0; i < fieldBytes; ++i) bytes.push_back(clipByte(n, f, i));
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline constexpr std::uint32_t kNtscFieldRateBits = 0x426FC29D;
inline constexpr std::uint32_t kPalFieldRateBits = 0x42480000;

// The settings file that makes the plug-in load in PAL mode.
inline constexpr const char* kPalIni = "[VideoCorvane Configuration]\nVideoMode=0\n";

}  // namespace corvane::abi
