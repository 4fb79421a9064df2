#include "platform/event.h"

#include <windows.h>

#include <system_error>

namespace corvane::platform {
namespace {

HANDLE toHandle(std::uint32_t event) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(event)); }

}  // namespace

// Handles of a 32-bit process fit the host's 32-bit word, and a created
// object's handle is never 0.
std::uint32_t createEvent(bool signalled) {
  HANDLE event = ::CreateEventA(nullptr, TRUE, signalled ? TRUE : FALSE, nullptr);
  if (event == nullptr) {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "CreateEventA");
  }
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(event));
}

void setEvent(std::uint32_t event) { ::SetEvent(toHandle(event)); }

bool eventIsSet(std::uint32_t event) { return ::WaitForSingleObject(toHandle(event), 0) == WAIT_OBJECT_0; }

void closeEvent(std::uint32_t event) { ::CloseHandle(toHandle(event)); }

}  // namespace corvane::platform
