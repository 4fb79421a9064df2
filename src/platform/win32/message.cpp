#include "platform/message.h"

#include <windows.h>

#include <string>

#include "platform/environment.h"
#include "platform/win32/kernel_handle.h"

namespace corvane::platform {

// Opened for appending only: the system then puts each write at the end of
// the file as one piece, for writers in this process or another.
void appendToLog(const std::string& path, std::string_view text) {
  win32::KernelHandle file(::CreateFileA(path.c_str(), FILE_APPEND_DATA,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return;
  DWORD written = 0;
  (void)::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// A program with no console has no standard error: the write then fails
// quietly.
void writeErrorLine(std::string_view text) {
  std::string line(text);
  line += '\n';
  DWORD written = 0;
  (void)::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
                    nullptr);
}

// Only the system's own dialogs have someone to press OK; the other front
// ends (none, tty, script:PATH) would leave the box waiting for ever.
void showSystemMessageBox(std::string_view caption, std::string_view text) {
  if (auto dialogs = environmentValue("CORVANE_DIALOGS"); dialogs && !dialogs->empty()) return;
  const std::string shownCaption(caption);
  const std::string shownText(text);
  ::MessageBoxA(nullptr, shownText.c_str(), shownCaption.c_str(), MB_OK);
}

}  // namespace corvane::platform
