// Recognising a QVF file and the validating open that turns one into a
// QvfStream. The registry is the only caller of the open; recognition serves
// the host's open-for-read.
#pragma once

#include <cstdint>
#include <memory>

#include "qvf/file_io.h"
#include "qvf/stream.h"

namespace corvane::qvf {

// What any file can make an open claim. A video chunk may exceed its field,
// rounded up to whole sectors, by at most kMaxChunkPadding (other writers pad
// a little; ours never do), else "Invalid chunk size in video stream."; and
// the chunk buffers of one file may claim at most kMaxChunkBuffersPerFile in
// all (a pair of 1920 x 540 fields fits), else "Cannot allocate required
// video memory for stream context.". Both are checked before any buffer of
// the file is allocated.
inline constexpr std::uint32_t kMaxChunkPadding = 64 * 1024;
inline constexpr std::uint64_t kMaxChunkBuffersPerFile = 4 * 1024 * 1024;

// True when the file's first four bytes are "FMTR". Takes no lock. Without a
// storage, on disk.
bool isQvfFile(Storage& storage, const char* path);
bool isQvfFile(const char* path);

// Reads and checks the headers, builds one context per video stream and
// opens the unbuffered handle. Throws EngineError naming the first check that
// fails; whatever was built is released.
std::unique_ptr<QvfStream> openQvfStream(Storage& storage, const char* path);

}  // namespace corvane::qvf
