// The library entry: called for process attach and detach. Only the first
// process attach does the start-up work; the entry never refuses a load.
#pragma once

#include <cstdint>
#include <functional>

namespace corvane::plugin {

enum class EntryReason : std::uint8_t { ProcessAttach, ProcessDetach, ThreadAttach, ThreadDetach };

// Runs firstAttach on the first process attach only. Returns true, always.
bool libraryEntry(EntryReason reason, const std::function<void()>& firstAttach);

// Process attaches seen so far.
std::uint32_t attachCount();

}  // namespace corvane::plugin
