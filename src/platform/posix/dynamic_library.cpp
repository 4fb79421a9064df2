#include "platform/dynamic_library.h"

#include <dlfcn.h>

#include <utility>

namespace corvane::platform {

DynamicLibrary DynamicLibrary::open(const std::string& path, std::string& error) {
  DynamicLibrary library;
  library.handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library.handle_ == nullptr) {
    const char* why = dlerror();
    error = why ? why : "unknown loader error";
  }
  return library;
}

void* DynamicLibrary::symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

void DynamicLibrary::close() {
  if (handle_ != nullptr) dlclose(std::exchange(handle_, nullptr));
}

std::uintptr_t moduleBaseOf(const void* address) {
  Dl_info info{};
  if (::dladdr(address, &info) == 0) return 0;
  return reinterpret_cast<std::uintptr_t>(info.dli_fbase);
}

}  // namespace corvane::platform
