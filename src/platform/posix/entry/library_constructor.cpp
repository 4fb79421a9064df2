// The shared library's entry: the loader runs the constructor after the
// library's static initialisers, and the destructor at dlclose or exit,
// before the library's own static destructors.
#include "platform/library_entry.h"

namespace {

__attribute__((constructor)) void loadLibrary() { corvane::platform::onLibraryLoad(); }

__attribute__((destructor)) void unloadLibrary() { corvane::platform::onLibraryUnload(); }

}  // namespace
