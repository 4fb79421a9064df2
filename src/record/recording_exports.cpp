// The record device's exports. Recording from the board is not built yet:
// every call answers 0, so a host sees the device as unavailable.
#include "exports/export.h"

CORVANE_EXPORT std::int32_t AVFILE_OpenRecording(void**, void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_SetRecordingSettings(void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_GetRecordingInfo(void*, void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_StartRecording(void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_StopRecording(void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_GetPositionRecording(void*, void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_AddRecordingFile(void*, void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_RemoveRecordingFile(void*) { return 0; }
CORVANE_EXPORT std::int32_t AVFILE_CloseRecording(void*) { return 0; }
