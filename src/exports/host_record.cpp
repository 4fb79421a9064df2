#include "exports/host_record.h"

#include <cstring>

namespace corvane::exports {

HostRecord::HostRecord(void* address, std::size_t extent)
    : base_(static_cast<std::uint8_t*>(address)), extent_(extent) {
  if (address == nullptr) throw HostRecordError("null host record");
}

void HostRecord::probeWritable() {
  if (extent_ == 0) return;
  for (std::uint8_t* at : {base_, base_ + extent_ - 1}) {
    volatile std::uint8_t* byte = at;
    *byte = *byte;
  }
}

void HostRecord::check(std::size_t offset, std::size_t count) const {
  if (offset > extent_ || count > extent_ - offset) throw HostRecordError("host record field out of range");
}

std::uint32_t HostRecord::u32(std::size_t offset) const {
  check(offset, 4);
  const std::uint8_t* p = base_ + offset;
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void HostRecord::setU32(std::size_t offset, std::uint32_t value) {
  check(offset, 4);
  std::uint8_t* p = base_ + offset;
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
  p[2] = static_cast<std::uint8_t>(value >> 16);
  p[3] = static_cast<std::uint8_t>(value >> 24);
}

void* HostRecord::address(std::size_t offset) const {
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(u32(offset)));
}

void HostRecord::setAddress(std::size_t offset, const void* value) {
  const auto wide = reinterpret_cast<std::uintptr_t>(value);
  if (wide > 0xFFFFFFFFu) throw HostRecordError("address does not fit a host record");
  setU32(offset, static_cast<std::uint32_t>(wide));
}

std::string_view HostRecord::text(std::size_t offset, std::size_t capacity) const {
  check(offset, capacity);
  const char* p = reinterpret_cast<const char*>(base_ + offset);
  const void* end = std::memchr(p, '\0', capacity);
  return {p, end ? static_cast<std::size_t>(static_cast<const char*>(end) - p) : capacity};
}

void HostRecord::setText(std::size_t offset, std::size_t capacity, std::string_view text) {
  check(offset, capacity);
  if (capacity == 0) return;
  const std::size_t n = text.size() < capacity ? text.size() : capacity - 1;
  std::memcpy(base_ + offset, text.data(), n);
  base_[offset + n] = 0;
}

std::uint8_t* HostRecord::bytes(std::size_t offset, std::size_t count) {
  check(offset, count);
  return base_ + offset;
}

std::uint32_t recordSize(const void* address) { return HostRecord(const_cast<void*>(address), 4).u32(0); }

}  // namespace corvane::exports
