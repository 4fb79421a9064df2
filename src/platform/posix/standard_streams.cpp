#include "platform/standard_streams.h"

namespace corvane::platform {

// POSIX streams never translate.
void useBinaryStandardStreams() {}

}  // namespace corvane::platform
