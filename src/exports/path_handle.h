// The handle the file input and the file output give the host: nothing but a
// heap copy of the file's path, which every later call hands back as the
// registry's key.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace corvane::exports {

// A malloc'd, NUL-terminated copy of name; nullptr when memory is refused.
// The host owns it until freePathHandle.
inline char* makePathHandle(std::string_view name) {
  auto* copy = static_cast<char*>(std::malloc(name.size() + 1));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, name.data(), name.size());
  copy[name.size()] = '\0';
  return copy;
}

inline void freePathHandle(void* handle) { std::free(handle); }

inline const char* pathOf(void* handle) { return static_cast<const char*>(handle); }

}  // namespace corvane::exports
