// The output device's exports. The query fills the descriptor and leaves the
// input side unprepared; playback through the board is not built yet, so the
// device's other calls answer 0 and a host sees it as unavailable.
#include "exports/export.h"
#include "exports/interface_descriptor.h"
#include "exports/report_error.h"
#include "exports/services.h"

CORVANE_EXPORT std::int32_t AVFILE_QueryInterfaceSink(void* descriptor) {
  return corvane::exports::reportError("AVFILE_QueryInterfaceSink", [&]() -> std::int32_t {
    if (corvane::exports::fillInterfaceDescriptor(descriptor, corvane::exports::kOutputDevice) == 0) return 0;
    if (auto* services = corvane::exports::installedServices())
      services->inputPrepared.store(false, std::memory_order_relaxed);
    return 1;
  });
}

CORVANE_EXPORT std::int32_t AVFILE_CloseInterfaceSink(void*) {
  return corvane::exports::reportError("AVFILE_CloseInterfaceSink", []() -> std::int32_t { return 1; });
}

CORVANE_EXPORT std::int32_t AVFILE_OpenSink(void**, void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_SetSinkSettings(void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_GetSinkInfo(void*, void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_SinkGetEmptyBuffer(void*, void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_SinkAddFullBuffer(void*, void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_QueueSink(void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_StartSink(void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_StopSink(void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_CloseSink(void*) { return 0; }
