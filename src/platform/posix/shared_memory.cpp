#include "platform/shared_memory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <memory>
#include <utility>

#include "platform/posix/unique_fd.h"

namespace corvane::platform {

namespace {

std::string systemName(const std::string& name) { return name.starts_with('/') ? name : "/" + name; }

struct Identity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
};

bool identify(int fd, Identity& identity) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
              static_cast<std::uint64_t>(info.st_size)};
  return true;
}

// Maps the object behind fd into memory; the device and inode go to
// identity so that replaced() can tell a new object of the same name.
std::uint8_t* mapObject(int fd, std::size_t size, bool writable, std::uint64_t (&identity)[2]) {
  Identity object;
  if (!identify(fd, object)) return nullptr;
  void* p = ::mmap(nullptr, size, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) return nullptr;
  identity[0] = object.device;
  identity[1] = object.inode;
  return static_cast<std::uint8_t*>(p);
}

}  // namespace

void SharedMemory::release() noexcept {
  if (data_ != nullptr) ::munmap(data_, size_);
  data_ = nullptr;
  size_ = 0;
}

SharedMemory SharedMemory::create(const std::string& name, std::size_t size) {
  SharedMemory memory;
  memory.name_ = systemName(name);
  posix::UniqueFd fd(::shm_open(memory.name_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  Identity identity;
  if (!fd.valid() || !identify(fd.get(), identity)) return memory;
  if (identity.size != size && ::ftruncate(fd.get(), static_cast<off_t>(size)) != 0) return memory;
  // Reserve the pages now: a full shared-memory filesystem would otherwise
  // surface as a bus error at the first write to the mapping.
  if (::posix_fallocate(fd.get(), 0, static_cast<off_t>(size)) != 0) return memory;
  memory.data_ = mapObject(fd.get(), size, true, memory.identity_);
  if (memory.data_ != nullptr) memory.size_ = size;
  return memory;
}

SharedMemory SharedMemory::openReadOnly(const std::string& name, std::size_t size) {
  SharedMemory memory;
  memory.name_ = systemName(name);
  posix::UniqueFd fd(::shm_open(memory.name_.c_str(), O_RDONLY | O_CLOEXEC, 0));
  Identity identity;
  // A smaller object would fault on the first read past its end.
  if (!fd.valid() || !identify(fd.get(), identity) || identity.size < size) return memory;
  memory.data_ = mapObject(fd.get(), size, false, memory.identity_);
  if (memory.data_ != nullptr) memory.size_ = size;
  return memory;
}

bool SharedMemory::replaced() const {
  posix::UniqueFd fd(::shm_open(name_.c_str(), O_RDONLY | O_CLOEXEC, 0));
  Identity identity;
  if (!fd.valid() || !identify(fd.get(), identity)) return true;
  return identity.device != identity_[0] || identity.inode != identity_[1];
}

bool removeSharedMemory(const std::string& name) { return ::shm_unlink(systemName(name).c_str()) == 0; }

// Linux keeps the objects as files of a tmpfs at /dev/shm.
std::vector<std::string> sharedMemoryNames(std::string_view prefix) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir("/dev/shm"), ::closedir);
  if (!listing) return names;
  while (const dirent* entry = ::readdir(listing.get())) {
    const std::string_view name = entry->d_name;
    if (name.starts_with(prefix)) names.emplace_back(name);
  }
  return names;
}

}  // namespace corvane::platform
