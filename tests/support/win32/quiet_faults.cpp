// A test program that faults, or its death-test child, ends at once with the
// fault's code as its exit status, as on Windows with error reporting off:
// Wine would otherwise start its debugger, and the test would wait for it.
#include <windows.h>

namespace {

LONG WINAPI endWithTheFaultsCode(EXCEPTION_POINTERS*) { return EXCEPTION_EXECUTE_HANDLER; }

[[maybe_unused]] const LPTOP_LEVEL_EXCEPTION_FILTER previousFilter =
    SetUnhandledExceptionFilter(endWithTheFaultsCode);

}  // namespace
