// Writes the plug-in's dialogs as resource-compiler source to the file named
// by the one argument. Runs on the build machine during a cross build, so it
// reads the same control tables the plug-in is compiled from.
#include <array>
#include <cstdio>
#include <fstream>
#include <string>

#include "plugin/warning_dialog_template.h"
#include "record/input_dialog_template.h"
#include "sink/output_dialog_template.h"
#include "toolkit/dialog_resource.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.rc\n", argv[0]);
    return 2;
  }
  const std::array<const corvane::tk::DialogTemplate*, 3> dialogs{&corvane::record::kInputDialogTemplate,
                                                                  &corvane::sink::kOutputDialogTemplate,
                                                                  &corvane::plugin::kWarningDialogTemplate};
  const std::string text = corvane::tk::dialogResourceFile(dialogs);
  // Written beside the target and renamed, so a failed run leaves no torn file
  // that a later build would take for finished.
  const std::string partial = std::string(argv[1]) + ".part";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) {
      std::fprintf(stderr, "%s: cannot write %s\n", argv[0], partial.c_str());
      return 1;
    }
  }
  if (std::rename(partial.c_str(), argv[1]) != 0) {
    std::fprintf(stderr, "%s: cannot rename %s to %s\n", argv[0], partial.c_str(), argv[1]);
    return 1;
  }
  return 0;
}
