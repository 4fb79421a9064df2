#include "platform/win32/module_handle.h"

#include <atomic>

#include "platform/library_entry.h"

namespace corvane::platform {
namespace {
std::atomic<HMODULE> kept{nullptr};
}  // namespace

void keepModuleHandle(HMODULE module) { kept.store(module, std::memory_order_release); }

std::uintptr_t moduleHandle() {
  if (HMODULE module = kept.load(std::memory_order_acquire)) return reinterpret_cast<std::uintptr_t>(module);
  // A program with no DllMain of ours (a test, the host): the module that
  // holds this code, which is where its resources were linked.
  HMODULE self = nullptr;
  ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&moduleHandle), &self);
  return reinterpret_cast<std::uintptr_t>(self);
}

}  // namespace corvane::platform
