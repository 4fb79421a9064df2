// Stands in for a preview program. Told by its environment what to do:
//   CORVANE_STAND_IN_LOG     file to append its process id to
//   CORVANE_STAND_IN_REPORT  file to write "<argument count> <CORVANE_PREVIEW_PROBE> <directory>" to
//   CORVANE_STAND_IN_EXIT    end at once with this exit code
//   CORVANE_STAND_IN_CLOSE   "obey" or "ignore" the close request (SIGTERM; on
//                            Windows WM_CLOSE to its window, which it opens);
//                            obeyed, it exits with kClosedExitCode
//   CORVANE_STAND_IN_READY   file made once it handles the close request so
// Otherwise it waits to be stopped, at most a minute.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "support/system.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

// Neither 0 (a kill on Windows) nor a common failure code.
constexpr int kClosedExitCode = 42;

using corvane::testing::environmentValue;

void noteReady() {
  if (const auto ready = environmentValue("CORVANE_STAND_IN_READY")) std::ofstream(*ready) << "ready\n";
}

#if defined(_WIN32)

bool gObeyClose = false;

LRESULT CALLBACK standInWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    if (gObeyClose) ::PostQuitMessage(kClosedExitCode);
    return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

// A hidden top-level window is what the close request is posted to.
int waitWithCloseRequest(bool obey) {
  gObeyClose = obey;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = standInWindow;
  windowClass.hInstance = ::GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "CorvaneStandIn";
  if (::RegisterClassA(&windowClass) == 0) return 3;
  if (::CreateWindowExA(0, windowClass.lpszClassName, "stand-in", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, nullptr,
                        nullptr, windowClass.hInstance, nullptr) == nullptr)
    return 3;
  noteReady();
  ::SetTimer(nullptr, 0, 60000, nullptr);
  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.hwnd == nullptr) return 0;
    ::DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

#else

extern "C" void exitOnCloseRequest(int) { std::_Exit(kClosedExitCode); }

int waitWithCloseRequest(bool obey) {
  std::signal(SIGTERM, obey ? exitOnCloseRequest : SIG_IGN);
  noteReady();
  std::this_thread::sleep_for(std::chrono::seconds(60));
  return 0;
}

#endif

}  // namespace

int main(int argc, char**) {
  if (const auto log = environmentValue("CORVANE_STAND_IN_LOG"))
    std::ofstream(*log, std::ios::app) << corvane::testing::currentProcessId() << "\n";
  if (const auto report = environmentValue("CORVANE_STAND_IN_REPORT"))
    std::ofstream(*report) << argc - 1 << " " << environmentValue("CORVANE_PREVIEW_PROBE").value_or("-")
                           << " " << std::filesystem::current_path().string() << "\n";
  if (const auto code = environmentValue("CORVANE_STAND_IN_EXIT")) return std::atoi(code->c_str());
  if (const auto close = environmentValue("CORVANE_STAND_IN_CLOSE"))
    return waitWithCloseRequest(*close == "obey");
  std::this_thread::sleep_for(std::chrono::seconds(60));
  return 0;
}
