// The library entry: called for process attach and detach. Only the first
// process attach does the start-up work; the entry never refuses a load.
#pragma once

#include <cstdint>
#include <functional>

namespace corvane::plugin {

enum class EntryReason : std::uint8_t { ProcessAttach, ProcessDetach, ThreadAttach, ThreadDetach };

// Runs firstAttach on the first process attach only. Returns true, always.
bool libraryEntry(EntryReason reason, const std::function<void()>& firstAttach);

// The library's load sequence: the board, the module, then the entry's
// process attach. Nothing escapes; a failed start-up shows its message box.
// Run by the system's entry point, once.
void loadLibrary();
// The unload sequence: the entry's process detach, then the module's exit
// list. Does nothing when the load failed.
void unloadLibrary();

// Process attaches seen so far.
std::uint32_t attachCount();

}  // namespace corvane::plugin
