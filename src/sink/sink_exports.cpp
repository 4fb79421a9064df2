// The output device's exports. Playback through the board is not built yet:
// every call answers 0, so a host sees the device as unavailable.
#include "exports/export.h"

CORVANE_EXPORT std::int32_t AVFILE_OpenSink(void**, void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_SetSinkSettings(void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_GetSinkInfo(void*, void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_SinkGetEmptyBuffer(void*, void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_SinkAddFullBuffer(void*, void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_QueueSink(void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_StartSink(void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_StopSink(void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_CloseSink(void*) { return 0; }
