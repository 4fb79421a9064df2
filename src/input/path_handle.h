// The handle the file input gives the host: nothing but a heap copy of the
// file's path, which every later call hands back as the registry's key.
#pragma once

#include <cstdlib>
#include <cstring>

namespace corvane::input {

// A malloc'd copy of path with its terminator; nullptr when memory is refused.
// The host owns it until freePathHandle.
inline char* makePathHandle(const char* path) {
  const std::size_t bytes = std::strlen(path) + 1;
  auto* copy = static_cast<char*>(std::malloc(bytes));
  if (copy != nullptr) std::memcpy(copy, path, bytes);
  return copy;
}

inline void freePathHandle(void* handle) { std::free(handle); }

}  // namespace corvane::input
