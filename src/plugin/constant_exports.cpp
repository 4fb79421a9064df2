// The twenty exports that answer a constant: they take whatever the host
// passes, touch nothing and return at once.
#include "exports/export.h"

#define CORVANE_CONSTANT_EXPORT(name, value) \
  CORVANE_EXPORT std::int32_t name(...) { return value; }

CORVANE_CONSTANT_EXPORT(AVFILE_CloseInterfaceReading, 1)
CORVANE_CONSTANT_EXPORT(AVFILE_CloseInterfaceWriting, 1)
CORVANE_CONSTANT_EXPORT(AVFILE_CloseInterfaceRecording, 1)
CORVANE_CONSTANT_EXPORT(AVFILE_EnablePassThrough, 1)
CORVANE_CONSTANT_EXPORT(AVFILE_QueueRecording, 1)
CORVANE_CONSTANT_EXPORT(AVFILE_ReleaseFormatFromReadImageFrame, 1)
CORVANE_CONSTANT_EXPORT(AVFILE_ReleaseFormatFromSetSinkSettings, 1)
CORVANE_CONSTANT_EXPORT(AVFILE_ReleaseFormatFromSetWritingSettings, 1)
CORVANE_CONSTANT_EXPORT(AVFILE_ReleaseFormatsFromGetReadingFileInfo, 1)
CORVANE_CONSTANT_EXPORT(AVFILE_ReleaseFormatsFromGetRecordingInfo, 1)
CORVANE_CONSTANT_EXPORT(AVFILE_ReleaseFormatsFromGetSinkInfo, 1)
CORVANE_CONSTANT_EXPORT(AVFILE_ReleaseFormatsFromGetWritingFileInfo, 1)
CORVANE_CONSTANT_EXPORT(AVFILE_ReleaseFormatsFromSetRecordingSettings, 1)

CORVANE_CONSTANT_EXPORT(AVFILE_ReadAudioSamples, 0)
CORVANE_CONSTANT_EXPORT(AVFILE_ReleaseFormatFromReadAudioSamples, 0)
CORVANE_CONSTANT_EXPORT(AVFILE_WriteNextAudioSamples, 0)
CORVANE_CONSTANT_EXPORT(AVFILE_WriteSegment, 0)
CORVANE_CONSTANT_EXPORT(AVFILE_GetVUMeterRecording, 0)
CORVANE_CONSTANT_EXPORT(AVFILE_GrabAudioToBuffer, 0)
CORVANE_CONSTANT_EXPORT(AVFILE_GrabImageToBuffer, 0)
