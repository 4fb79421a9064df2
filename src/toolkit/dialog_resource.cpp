#include "toolkit/dialog_resource.h"

namespace corvane::tk {
namespace {

// A resource string: quotes are doubled, backslashes and line breaks are
// escaped as in C.
std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') {
      out += "\"\"";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

struct Native {
  const char* windowClass;
  const char* style;
};

Native nativeOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::GroupBox:
      return {"BUTTON", "BS_GROUPBOX"};
    case ControlKind::StaticText:
      return {"STATIC", "SS_LEFT"};
    case ControlKind::CheckBox:
      return {"BUTTON", "BS_AUTOCHECKBOX | WS_TABSTOP"};
    case ControlKind::PushLikeCheckBox:
      return {"BUTTON", "BS_AUTOCHECKBOX | BS_PUSHLIKE | WS_TABSTOP"};
    case ControlKind::RadioButton:
      return {"BUTTON", "BS_AUTORADIOBUTTON | WS_TABSTOP"};
    case ControlKind::PushButton:
      return {"BUTTON", "BS_PUSHBUTTON | WS_TABSTOP"};
    case ControlKind::DefaultPushButton:
      return {"BUTTON", "BS_DEFPUSHBUTTON | WS_TABSTOP"};
    case ControlKind::Placeholder:
      return {"STATIC", "SS_BLACKFRAME"};
  }
  return {"STATIC", "SS_LEFT"};
}

std::string numbers(const DialogRect& r) {
  return std::to_string(r.x) + ", " + std::to_string(r.y) + ", " + std::to_string(r.width) + ", " +
         std::to_string(r.height);
}

}  // namespace

std::string dialogResource(const DialogTemplate& dialog) {
  std::string out = std::to_string(dialog.resourceId) + " DIALOGEX " + numbers(dialog.size) + "\n";
  out += "STYLE DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU\n";
  out += "CAPTION " + quoted(dialog.caption) + "\n";
  out += "FONT 8, \"Arial\"\n";
  out += "BEGIN\n";
  bool inRadioRun = false;
  for (const ControlTemplate& control : dialog.controls) {
    const Native native = nativeOf(control.kind);
    // A group starts at every control that does not carry on a run of radio
    // buttons: so an automatic radio button clears exactly its own run.
    const bool continuesRun = inRadioRun && control.kind == ControlKind::RadioButton;
    inRadioRun = control.kind == ControlKind::RadioButton;
    out += "  CONTROL " + quoted(control.text) + ", " + std::to_string(control.id) + ", \"" +
           native.windowClass + "\", " + native.style + (continuesRun ? "" : " | WS_GROUP") +
           " | WS_CHILD | WS_VISIBLE, " + numbers(control.rect) + "\n";
  }
  out += "END\n";
  return out;
}

std::string dialogResourceFile(std::span<const DialogTemplate* const> dialogs) {
  std::string out =
      "// Made at build time from the dialogs' control tables; edit the tables, not this.\n"
      "#include <windows.h>\n\n"
      "LANGUAGE LANG_NEUTRAL, SUBLANG_NEUTRAL\n\n";
  for (const DialogTemplate* dialog : dialogs) out += dialogResource(*dialog) + "\n";
  return out;
}

}  // namespace corvane::tk
