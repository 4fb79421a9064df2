// Native dialogs: the library's own dialog resources, run with DialogBoxParamA.
// Sliders are trackbars and number boxes edit controls, made over the
// resource's placeholder frames when the driver asks for them.
#include <windows.h>
// windows.h first: the common controls header needs its types.
#include <commctrl.h>

#include <map>
#include <mutex>
#include <string>

#include "platform/message.h"
#include "platform/native_dialog.h"

namespace corvane::platform {
namespace {

constexpr UINT_PTR kTickTimer = 1;
constexpr UINT_PTR kResumeTimer = 2;
constexpr UINT kTickMs = 10;
constexpr UINT kResumeMessage = WM_APP + 1;
// Ids of the controls made at run time: clear of every resource id.
constexpr int kMadeControlBase = 0x4000;
// The resource type of dialog templates, spelled without the UNICODE switch.
const LPCSTR kDialogResource = MAKEINTRESOURCEA(5);

// The module this code is part of: the plug-in's resources live there.
HMODULE ownModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ownModule), &module);
  return module;
}

// Trackbars come from the common controls library, registered once per
// process. Loaded by name so nothing else needs to link it; it stays loaded,
// as a process's system libraries do.
void registerTrackbars() {
  static std::once_flag once;
  std::call_once(once, [] {
    HMODULE library = LoadLibraryA("comctl32.dll");
    if (library == nullptr) return;
    using Init = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto init =
        reinterpret_cast<Init>(reinterpret_cast<void*>(GetProcAddress(library, "InitCommonControlsEx")));
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    if (init != nullptr) init(&controls);
  });
}

std::string windowText(HWND window) {
  if (window == nullptr) return {};
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  const int length = GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return text;
}

class Win32Dialog final : public NativeDialog {
 public:
  explicit Win32Dialog(NativeDialogEvents& events) : events_(events) {}

  static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrA(window, DWLP_USER, lParam);
    auto* self = reinterpret_cast<Win32Dialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    // Nothing may unwind through the system's frames below this one.
    try {
      return self->handle(window, message, wParam, lParam);
    } catch (...) {
      writeErrorLine("Corvane: a dialog message failed and was dropped");
      return FALSE;
    }
  }

  void setText(std::int32_t id, std::string_view text) override {
    SetDlgItemTextA(window_, id, std::string(text).c_str());
  }

  std::string text(std::int32_t id) const override { return windowText(GetDlgItem(window_, id)); }

  bool checked(std::int32_t id) const override { return IsDlgButtonChecked(window_, id) == BST_CHECKED; }

  void setChecked(std::int32_t id, bool checked) override {
    CheckDlgButton(window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
  }

  bool click(std::int32_t id) override {
    HWND button = GetDlgItem(window_, id);
    if (button == nullptr) return false;
    SendMessageA(button, BM_CLICK, 0, 0);
    return true;
  }

  void showSlider(std::int32_t placeholderId, int low, int high, int position) override {
    // Registered only when a dialog has a slider: the warning dialog runs
    // under the loader lock, where loading a library is best left undone.
    registerTrackbars();
    HWND slider = made(placeholderId, TRACKBAR_CLASSA, WS_TABSTOP | TBS_HORZ | TBS_NOTICKS, 0);
    if (slider == nullptr) return;
    // Called on every change of the dialog: only what differs goes to the control.
    if (SendMessageA(slider, TBM_GETRANGEMIN, 0, 0) != low ||
        SendMessageA(slider, TBM_GETRANGEMAX, 0, 0) != high) {
      SendMessageA(slider, TBM_SETRANGEMIN, FALSE, low);
      SendMessageA(slider, TBM_SETRANGEMAX, TRUE, high);
    }
    if (SendMessageA(slider, TBM_GETPOS, 0, 0) != position) SendMessageA(slider, TBM_SETPOS, TRUE, position);
  }

  bool moveSlider(std::int32_t placeholderId, int position) override {
    HWND slider = existing(placeholderId, Kind::Slider);
    if (slider == nullptr) return false;
    const auto low = static_cast<int>(SendMessageA(slider, TBM_GETRANGEMIN, 0, 0));
    const auto high = static_cast<int>(SendMessageA(slider, TBM_GETRANGEMAX, 0, 0));
    if (position < low || position > high) return false;
    // What a drag ends with: the knob at its place, then the scroll messages.
    SendMessageA(slider, TBM_SETPOS, TRUE, position);
    SendMessageA(window_, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position),
                 reinterpret_cast<LPARAM>(slider));
    SendMessageA(window_, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(slider));
    return true;
  }

  void showNumberBox(std::int32_t placeholderId, std::string_view text) override {
    HWND box = made(placeholderId, "EDIT", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
    if (box == nullptr || windowText(box) == text) return;
    quiet_ = true;
    SetWindowTextA(box, std::string(text).c_str());
    quiet_ = false;
  }

  std::string numberText(std::int32_t placeholderId) const override {
    return windowText(existing(placeholderId, Kind::NumberBox));
  }

  bool typeNumber(std::int32_t placeholderId, std::string_view text) override {
    HWND box = existing(placeholderId, Kind::NumberBox);
    if (box == nullptr) return false;
    // The text goes in quietly and the notifications follow once each, so
    // they do not depend on what the edit control itself sends for it.
    quiet_ = true;
    SendMessageA(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(std::string(text).c_str()));
    quiet_ = false;
    const int id = GetDlgCtrlID(box);
    SendMessageA(window_, WM_COMMAND, MAKEWPARAM(id, EN_CHANGE), reinterpret_cast<LPARAM>(box));
    SendMessageA(window_, WM_COMMAND, MAKEWPARAM(id, EN_KILLFOCUS), reinterpret_cast<LPARAM>(box));
    return true;
  }

  void removeValueControl(std::int32_t placeholderId) override {
    auto found = made_.find(placeholderId);
    if (found == made_.end()) return;
    DestroyWindow(found->second.window);
    made_.erase(found);
  }

  void resumeAfter(std::uint32_t ms) override {
    if (ms == 0) {
      PostMessageA(window_, kResumeMessage, 0, 0);
    } else {
      SetTimer(window_, kResumeTimer, ms, nullptr);
    }
  }

  void end(std::int32_t result) override { EndDialog(window_, result); }

 private:
  enum class Kind : std::uint8_t { Slider, NumberBox };
  struct Made {
    HWND window;
    Kind kind;
  };

  INT_PTR handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_INITDIALOG:
        window_ = window;
        opened_ = true;
        SetTimer(window_, kTickTimer, kTickMs, nullptr);
        events_.onOpen(*this);
        return TRUE;
      case WM_TIMER:
        if (wParam == kResumeTimer) {
          KillTimer(window_, kResumeTimer);
          events_.onResume();
        } else if (wParam == kTickTimer) {
          events_.onTick();
        }
        return TRUE;
      case kResumeMessage:
        events_.onResume();
        return TRUE;
      case WM_HSCROLL:
        if (LOWORD(wParam) != TB_ENDTRACK) {
          if (auto id = placeholderOf(reinterpret_cast<HWND>(lParam), Kind::Slider)) {
            const auto position =
                static_cast<int>(SendMessageA(reinterpret_cast<HWND>(lParam), TBM_GETPOS, 0, 0));
            events_.onSliderMoved(*id, position);
          }
        }
        return TRUE;
      case WM_COMMAND:
        return command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      case WM_DESTROY:
        KillTimer(window_, kTickTimer);
        KillTimer(window_, kResumeTimer);
        events_.onClose();
        made_.clear();
        return TRUE;
      default:
        return FALSE;  // WM_CLOSE among them: the system turns it into cancel
    }
  }

  INT_PTR command(WORD id, WORD code, HWND from) {
    if (auto box = placeholderOf(from, Kind::NumberBox)) {
      if (code == EN_CHANGE && !quiet_) events_.onNumberTyped(*box, windowText(from), false);
      if (code == EN_KILLFOCUS) events_.onNumberTyped(*box, windowText(from), true);
      return TRUE;
    }
    // Buttons, and keys (Enter, Escape) that come with no control or a menu code.
    if (code == BN_CLICKED || from == nullptr) events_.onCommand(static_cast<std::int32_t>(id));
    return TRUE;
  }

  HWND made(std::int32_t placeholderId, const char* windowClass, DWORD style, DWORD extendedStyle) {
    if (HWND window = existing(placeholderId, kindOf(windowClass))) return window;
    HWND frame = GetDlgItem(window_, placeholderId);
    if (frame == nullptr) return nullptr;
    RECT r;
    GetWindowRect(frame, &r);
    MapWindowPoints(HWND_DESKTOP, window_, reinterpret_cast<POINT*>(&r), 2);
    HWND control =
        CreateWindowExA(extendedStyle, windowClass, "", WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                        r.right - r.left, r.bottom - r.top, window_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kMadeControlBase + placeholderId)),
                        ownModule(), nullptr);
    if (control == nullptr) {
      writeErrorLine("Corvane: a dialog control over placeholder " + std::to_string(placeholderId) +
                     " could not be made");
      return nullptr;
    }
    SendMessageA(control, WM_SETFONT, SendMessageA(window_, WM_GETFONT, 0, 0), FALSE);
    // Above the frame, so the frame never draws over it.
    SetWindowPos(control, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    made_[placeholderId] = Made{control, kindOf(windowClass)};
    return control;
  }

  static Kind kindOf(const char* windowClass) {
    return std::string_view(windowClass) == "EDIT" ? Kind::NumberBox : Kind::Slider;
  }

  HWND existing(std::int32_t placeholderId, Kind kind) const {
    auto found = made_.find(placeholderId);
    return found != made_.end() && found->second.kind == kind ? found->second.window : nullptr;
  }

  std::optional<std::int32_t> placeholderOf(HWND control, Kind kind) const {
    if (control == nullptr) return std::nullopt;
    for (const auto& [id, m] : made_) {
      if (m.window == control && m.kind == kind) return id;
    }
    return std::nullopt;
  }

  NativeDialogEvents& events_;
  HWND window_ = nullptr;
  std::map<std::int32_t, Made> made_;
  bool quiet_ = false;  // set while our own text changes reach a number box
  bool opened_ = false;

 public:
  bool opened() const { return opened_; }
};

}  // namespace

std::optional<std::int32_t> runNativeDialog(std::int32_t resourceId, NativeDialogEvents& events) {
  HMODULE module = ownModule();
  if (module == nullptr || FindResourceA(module, MAKEINTRESOURCEA(resourceId), kDialogResource) == nullptr) {
    return std::nullopt;
  }
  Win32Dialog dialog(events);
  const INT_PTR result = DialogBoxParamA(module, MAKEINTRESOURCEA(resourceId), nullptr,
                                         &Win32Dialog::procedure, reinterpret_cast<LPARAM>(&dialog));
  if (result == -1) {
    // Once the driver has seen the opening the run counts, failed or not.
    if (dialog.opened()) return 2;
    writeErrorLine("Corvane: dialog " + std::to_string(resourceId) + " could not be shown (error " +
                   std::to_string(GetLastError()) + ")");
    return std::nullopt;
  }
  return static_cast<std::int32_t>(result);
}

}  // namespace corvane::platform
