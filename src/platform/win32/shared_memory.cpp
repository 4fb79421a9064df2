#include "platform/shared_memory.h"

#include <windows.h>

#include <utility>

#include "platform/win32/file_handle.h"

namespace corvane::platform {

// Windows keeps a named mapping object only while some handle to it is open,
// and a name cannot be taken from an object that lives: there is nothing to
// remove, and a name cannot come to lead to a different object while this
// mapping holds the old one open. So each SharedMemory keeps its object's
// handle (in identity_[0]) until it is destroyed, replaced() is always false,
// removeSharedMemory has nothing to do, and no listing of the names exists.

namespace {

// The board's names, in this session's namespace: "/corvane-..." and
// "corvane-..." are one object.
std::string systemName(const std::string& name) {
  return "Local\\" + (name.starts_with('/') ? name.substr(1) : name);
}

HANDLE mappingOf(std::uint64_t slot) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(slot)); }

}  // namespace

void SharedMemory::release() noexcept {
  if (data_ != nullptr) UnmapViewOfFile(data_);
  if (identity_[0] != 0) CloseHandle(mappingOf(identity_[0]));
  data_ = nullptr;
  size_ = 0;
  identity_[0] = 0;
}

SharedMemory SharedMemory::create(const std::string& name, std::size_t size) {
  SharedMemory memory;
  memory.name_ = systemName(name);
  const auto wide = static_cast<std::uint64_t>(size);
  // Backed by the paging file; the default security lets only this user
  // (and the system) in. The pages are committed at creation, so a full
  // paging file fails here, not at the first write.
  win32::FileHandle mapping(CreateFileMappingA(
      INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT, static_cast<DWORD>(wide >> 32),
      static_cast<DWORD>(wide & 0xFFFF'FFFFu), memory.name_.c_str()));
  if (!mapping.valid() || size == 0) return memory;
  // An object that already exists keeps its size; too small a one is no use.
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    void* probe = MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0);
    if (probe == nullptr) return memory;
    MEMORY_BASIC_INFORMATION info{};
    const bool bigEnough = VirtualQuery(probe, &info, sizeof info) != 0 && info.RegionSize >= size;
    UnmapViewOfFile(probe);
    if (!bigEnough) return memory;
  }
  void* p = MapViewOfFile(mapping.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size);
  if (p == nullptr) return memory;
  memory.data_ = static_cast<std::uint8_t*>(p);
  memory.size_ = size;
  memory.identity_[0] = reinterpret_cast<std::uintptr_t>(mapping.release());
  return memory;
}

SharedMemory SharedMemory::openReadOnly(const std::string& name, std::size_t size) {
  SharedMemory memory;
  memory.name_ = systemName(name);
  win32::FileHandle mapping(OpenFileMappingA(FILE_MAP_READ, FALSE, memory.name_.c_str()));
  if (!mapping.valid() || size == 0) return memory;
  // The whole object, to learn its size: a smaller one would fault on the
  // first read past its end.
  void* p = MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0);
  if (p == nullptr) return memory;
  MEMORY_BASIC_INFORMATION info{};
  if (VirtualQuery(p, &info, sizeof info) == 0 || info.RegionSize < size) {
    UnmapViewOfFile(p);
    return memory;
  }
  memory.data_ = static_cast<std::uint8_t*>(p);
  memory.size_ = size;
  memory.identity_[0] = reinterpret_cast<std::uintptr_t>(mapping.release());
  return memory;
}

bool SharedMemory::replaced() const { return false; }

bool removeSharedMemory(const std::string&) { return false; }

std::vector<std::string> sharedMemoryNames(std::string_view) { return {}; }

}  // namespace corvane::platform
