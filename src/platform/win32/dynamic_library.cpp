#include "platform/dynamic_library.h"

#include <windows.h>

#include <utility>

#include "platform/win32/file_handle.h"

namespace corvane::platform {

DynamicLibrary DynamicLibrary::open(const std::string& path, std::string& error) {
  DynamicLibrary library;
  // The loader binds every import at load; no system error box for a
  // missing dependency, only the error code.
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = LoadLibraryA(path.c_str());
  const DWORD code = GetLastError();
  SetErrorMode(previous);
  if (module == nullptr) {
    error = path + ": " + win32::systemErrorText(code);
    return library;
  }
  library.handle_ = module;
  return library;
}

void* DynamicLibrary::symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void DynamicLibrary::close() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(std::exchange(handle_, nullptr)));
}

std::uintptr_t moduleBaseOf(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<const char*>(address), &module))
    return 0;
  return reinterpret_cast<std::uintptr_t>(module);
}

}  // namespace corvane::platform
