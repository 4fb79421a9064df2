// The QVF reader: recognition, and the frame-level reads that the host's file
// input uses. Every operation names its file by path and goes through the
// registry, which opens the file on first use and serialises work on it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "qvf/file_io.h"
#include "qvf/registry.h"

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

struct FrameGeometry {
  std::uint32_t width = 0;          // pixels per line
  std::uint32_t linesPerField = 0;  // the frame is twice as high
};

// True when the file's first four bytes are "FMTR". Takes no lock. Without a
// storage, on disk.
bool isQvfFile(Storage& storage, const char* path);
bool isQvfFile(const char* path);

// The validating open: reads and checks the headers, builds one context per
// video stream and opens the unbuffered handle. Throws EngineError naming the
// first check that fails; whatever was built is released. Called by the
// registry, which keeps the result. Without a storage, on disk.
std::unique_ptr<QvfStream> openQvfStream(Storage& storage, const char* path);
std::unique_ptr<QvfStream> openQvfStream(const char* path);

// Whole frames in the file now; 0 when it cannot be opened.
std::uint32_t frameCount(OpenFileRegistry& registry, const char* path);

// Geometry of video pair 0; nullopt when the file cannot be opened.
std::optional<FrameGeometry> frameGeometry(OpenFileRegistry& registry, const char* path);

// Frame n as "4:2:2": field 0, then field 1 at width x lines x 2. The buffer
// must be sector-aligned and hold two whole chunks. False on any failure.
bool readFrame422(OpenFileRegistry& registry, const char* path, std::uint32_t n, std::uint8_t* buffer);

// Frame n as bottom-up B G R A, width x 2 lines x 4 bytes; no alignment needed.
bool readFrameBgra(OpenFileRegistry& registry, const char* path, std::uint32_t n, std::uint8_t* buffer);

// Frame n as top-down interleaved Y Cb Cr A, width x 2 lines x 4 bytes.
bool readFrame444(OpenFileRegistry& registry, const char* path, std::uint32_t n, std::uint8_t* buffer);

// The same two into a buffer of known size: false, with nothing written, when
// the file's frame needs more than buffer holds. The geometry is checked under
// the entry's lock, since a file re-created meanwhile may have another one.
bool readFrameBgra(OpenFileRegistry& registry, const char* path, std::uint32_t n,
                   std::span<std::uint8_t> buffer);
bool readFrame444(OpenFileRegistry& registry, const char* path, std::uint32_t n,
                  std::span<std::uint8_t> buffer);

}  // namespace corvane::qvf
