#include "platform/native_dialog.h"

namespace corvane::platform {

// No system dialogs here: the toolkit draws its own.
std::optional<std::int32_t> runNativeDialog(std::int32_t, NativeDialogEvents&) { return std::nullopt; }

}  // namespace corvane::platform
