// Loading a shared library and resolving its symbols (the host side of the
// plug-in). Unloads on destruction.
#pragma once

#include <cstdint>
#include <string>

namespace corvane::platform {

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary();
  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Loads path now (all symbols bound at once). On failure returns an empty
  // library and sets error to the loader's explanation.
  static DynamicLibrary open(const std::string& path, std::string& error);
  // nullptr when the library has no such symbol.
  void* symbol(const char* name) const;
  bool loaded() const { return handle_ != nullptr; }
  // Unloads now; the library's unload routines run.
  void close();

 private:
  void* handle_ = nullptr;
};

// The load address of the loaded library that holds address (the native
// module handle); 0 when no library holds it.
std::uintptr_t moduleBaseOf(const void* address);

}  // namespace corvane::platform
