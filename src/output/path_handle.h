// The handle the file output gives the host: a heap copy of the name the file
// is written under, which every frame call hands back as the registry's key.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace corvane::output {

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

}  // namespace corvane::output
