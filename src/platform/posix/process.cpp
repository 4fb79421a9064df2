#include "platform/process.h"

#include <cstdlib>

namespace corvane::platform {

void exitProcess(int code) { std::exit(code); }

}  // namespace corvane::platform
