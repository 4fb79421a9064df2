// A library with only some of the plug-in's exports, for the host's
// missing-export error.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) std::int32_t AVFILE_QueryInterfaceReading(void*) {
  return 0;
}
