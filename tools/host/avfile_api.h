// The plug-in's 53 exports as the host sees them: C functions with the C
// calling convention, 32-bit results, records passed by address. The host
// and the black-box tests resolve them by these names.
#pragma once

#include <cstdint>

namespace corvane::host {

using AvResult = std::int32_t;
using RecordFn = AvResult (*)(void* record);
using HandleFn = AvResult (*)(void* handle);
using HandleRecordFn = AvResult (*)(void* handle, void* record);
using OpenFn = AvResult (*)(void** handleOut, void* argument);
using AnyFn = AvResult (*)();

// X(name, type): every export, grouped by service.
#define CORVANE_AVFILE_EXPORTS(X)                         \
  /* file input */                                        \
  X(AVFILE_QueryInterfaceReading, RecordFn)               \
  X(AVFILE_CloseInterfaceReading, AnyFn)                  \
  X(AVFILE_OpenFileForRead, OpenFn)                       \
  X(AVFILE_GetReadingFileInfo, HandleRecordFn)            \
  X(AVFILE_ReleaseFormatsFromGetReadingFileInfo, AnyFn)   \
  X(AVFILE_ReadImageFrame, HandleRecordFn)                \
  X(AVFILE_ReleaseFormatFromReadImageFrame, AnyFn)        \
  X(AVFILE_ReadAudioSamples, AnyFn)                       \
  X(AVFILE_ReleaseFormatFromReadAudioSamples, AnyFn)      \
  X(AVFILE_CloseReadingFile, HandleFn)                    \
  /* file output */                                       \
  X(AVFILE_QueryInterfaceWriting, RecordFn)               \
  X(AVFILE_CloseInterfaceWriting, AnyFn)                  \
  X(AVFILE_OpenFileForWrite, OpenFn)                      \
  X(AVFILE_SetWritingSettings, RecordFn)                  \
  X(AVFILE_ReleaseFormatFromSetWritingSettings, AnyFn)    \
  X(AVFILE_GetWritingFileInfo, HandleRecordFn)            \
  X(AVFILE_ReleaseFormatsFromGetWritingFileInfo, AnyFn)   \
  X(AVFILE_GetFreeTimeOnDrive, RecordFn)                  \
  X(AVFILE_WriteNextVideoFrame, HandleRecordFn)           \
  X(AVFILE_WriteNextAudioSamples, AnyFn)                  \
  X(AVFILE_WriteSegment, AnyFn)                           \
  X(AVFILE_CloseFileForWrite, HandleFn)                   \
  /* output device */                                     \
  X(AVFILE_QueryInterfaceSink, RecordFn)                  \
  X(AVFILE_CloseInterfaceSink, RecordFn)                  \
  X(AVFILE_OpenSink, OpenFn)                              \
  X(AVFILE_SetSinkSettings, RecordFn)                     \
  X(AVFILE_ReleaseFormatFromSetSinkSettings, AnyFn)       \
  X(AVFILE_GetSinkInfo, HandleRecordFn)                   \
  X(AVFILE_ReleaseFormatsFromGetSinkInfo, AnyFn)          \
  X(AVFILE_SinkGetEmptyBuffer, HandleRecordFn)            \
  X(AVFILE_SinkAddFullBuffer, HandleRecordFn)             \
  X(AVFILE_QueueSink, HandleFn)                           \
  X(AVFILE_StartSink, HandleFn)                           \
  X(AVFILE_StopSink, HandleFn)                            \
  X(AVFILE_CloseSink, HandleFn)                           \
  /* record device */                                     \
  X(AVFILE_QueryInterfaceRecording, RecordFn)             \
  X(AVFILE_CloseInterfaceRecording, AnyFn)                \
  X(AVFILE_OpenRecording, OpenFn)                         \
  X(AVFILE_SetRecordingSettings, RecordFn)                \
  X(AVFILE_ReleaseFormatsFromSetRecordingSettings, AnyFn) \
  X(AVFILE_GetRecordingInfo, HandleRecordFn)              \
  X(AVFILE_ReleaseFormatsFromGetRecordingInfo, AnyFn)     \
  X(AVFILE_StartRecording, HandleFn)                      \
  X(AVFILE_StopRecording, HandleFn)                       \
  X(AVFILE_QueueRecording, AnyFn)                         \
  X(AVFILE_GetPositionRecording, HandleRecordFn)          \
  X(AVFILE_AddRecordingFile, HandleRecordFn)              \
  X(AVFILE_RemoveRecordingFile, HandleRecordFn)           \
  X(AVFILE_GetVUMeterRecording, AnyFn)                    \
  X(AVFILE_GrabAudioToBuffer, AnyFn)                      \
  X(AVFILE_GrabImageToBuffer, AnyFn)                      \
  X(AVFILE_CloseRecording, HandleFn)                      \
  /* not bound to one service */                          \
  X(AVFILE_EnablePassThrough, AnyFn)

struct AvfileApi {
#define CORVANE_AVFILE_MEMBER(name, type) type name = nullptr;
  CORVANE_AVFILE_EXPORTS(CORVANE_AVFILE_MEMBER)
#undef CORVANE_AVFILE_MEMBER
};

inline constexpr int kExportCount = 53;

}  // namespace corvane::host
