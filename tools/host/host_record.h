// Host-side records: a byte buffer the host fills field by field at fixed
// offsets, little-endian, the way a real host lays out its structures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::host {

class RecordBuffer {
 public:
  // size bytes filled with fill; the size word at 0 is left to the caller.
  explicit RecordBuffer(std::size_t size, std::uint8_t fill = 0) : bytes_(size, fill) {}

  void* data() { return bytes_.data(); }
  std::size_t size() const { return bytes_.size(); }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  std::uint32_t u32(std::size_t offset) const {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | bytes_.at(offset + static_cast<std::size_t>(i));
    return v;
  }
  void setU32(std::size_t offset, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) bytes_.at(offset + i) = static_cast<std::uint8_t>(v >> (8 * i));
  }
  // Address fields are 32 bits in the host's records.
  void setAddress(std::size_t offset, const void* p) {
    setU32(offset, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p)));
  }
  void* address(std::size_t offset) const {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(u32(offset)));
  }
  std::string text(std::size_t offset, std::size_t capacity) const {
    std::string s;
    for (std::size_t i = 0; i < capacity && bytes_.at(offset + i) != 0; ++i)
      s.push_back(static_cast<char>(bytes_.at(offset + i)));
    return s;
  }
  void setText(std::size_t offset, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) bytes_.at(offset + i) = static_cast<std::uint8_t>(text[i]);
    bytes_.at(offset + text.size()) = 0;
  }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace corvane::host
