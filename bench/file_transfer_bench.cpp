// Frame transfers as the host's file input and file output make them, side by
// side in one run with a plain unbuffered transfer of the same bytes (one
// 691200-byte read or write per frame, no registry, no conversion). The file
// paths are the functions the export shims call (input::readFrame,
// output::writeFrame), with the host's frame buffer from malloc, as a host's
// allocator hands it out: not sector-aligned. Unbuffered transfers bypass the
// page cache, so every frame meets the disk.
//
// Files go to $CORVANE_BENCH_DIR, else /var/tmp/corvane-qvf-bench; keep them
// off tmpfs, which has no direct I/O. The read clip (200 frames) is made once;
// each write benchmark starts its file over every kWriteFrames frames.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/video_mode.h"
#include "exports/pixel_format.h"
#include "input/frame_reading.h"
#include "output/frame_writing.h"
#include "output/writing_file.h"
#include "platform/file.h"
#include "platform/memory.h"
#include "qvf/container.h"
#include "qvf/registry.h"

namespace {

using namespace corvane;
using exports::PixelFormat;

constexpr std::uint32_t kFrames = 200;
constexpr std::uint32_t kWriteFrames = 100;
const VideoMode kMode = VideoMode::fromSetting(1);
const std::uint32_t kBlockBytes = kMode.frameWidth * kMode.frameHeight * 2;

std::filesystem::path benchDirectory() {
  const char* dir = std::getenv("CORVANE_BENCH_DIR");
  const std::filesystem::path folder = dir != nullptr ? dir : "/var/tmp/corvane-qvf-bench";
  std::filesystem::create_directories(folder);
  return folder;
}

// A frame buffer as the host has one: malloc'd, so not sector-aligned, with
// pixel values inside the legal range plus a few 255s for the limiting pass.
struct HostFrame {
  explicit HostFrame(std::size_t bytes) : size(bytes), data(static_cast<std::uint8_t*>(std::malloc(bytes))) {
    for (std::size_t i = 0; i < size; ++i)
      data.get()[i] = static_cast<std::uint8_t>(i % 997 == 0 ? 255 : 16 + i % 220);
  }
  std::span<std::uint8_t> bytes() { return {data.get(), size}; }
  struct Free {
    void operator()(std::uint8_t* p) const { std::free(p); }
  };
  std::size_t size;
  std::unique_ptr<std::uint8_t, Free> data;
};

const std::string& clipPath() {
  static const std::string path = [] {
    const std::string file = (benchDirectory() / "clip-720x480.qvf").string();
    std::error_code ec;
    if (std::filesystem::file_size(file, ec) !=
        qvf::kWrittenDataOffset + std::uint64_t{kFrames} * kBlockBytes) {
      qvf::OpenFileRegistry registry;
      output::createForWriting(registry, kMode, file.c_str());
      HostFrame frame(exports::frameBytes(PixelFormat::Ycbcr422, kMode.frameWidth, kMode.frameHeight));
      for (std::uint32_t n = 0; n < kFrames; ++n)
        output::writeFrame(registry, kMode, file.c_str(), PixelFormat::Ycbcr422, frame.bytes());
    }
    return file;
  }();
  return path;
}

void reportFrames(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * std::int64_t{kBlockBytes});
}

platform::StreamHandle openOrSkip(benchmark::State& state, const std::string& path) {
  platform::StreamHandle handle = platform::StreamHandle::open(path.c_str());
  if (!handle.isOpen()) state.SkipWithError("cannot open the file");
  state.SetLabel(handle.unbuffered() ? "unbuffered" : "buffered");
  return handle;
}

void BM_Read_PlainUnbuffered(benchmark::State& state) {
  platform::StreamHandle handle = openOrSkip(state, clipPath());
  platform::PageBuffer frame(kBlockBytes);
  std::uint32_t n = 0;
  handle.seek(qvf::kWrittenDataOffset);
  for (auto _ : state) {
    const platform::Transfer read = handle.read(frame.bytes());
    if (!read.ok || read.count != kBlockBytes) state.SkipWithError("short read");
    if (++n == kFrames) {
      n = 0;
      handle.seek(qvf::kWrittenDataOffset);
    }
  }
  reportFrames(state);
}

void readAsHost(benchmark::State& state, PixelFormat format) {
  qvf::OpenFileRegistry registry;
  HostFrame frame(input::requiredBufferBytes(format, {kMode.frameWidth, kMode.frameHeight}));
  std::uint32_t n = 0;
  for (auto _ : state) {
    // As the shim does: the registry entered once, the frame read under its lock.
    qvf::OpenFileRegistry::Access entry = registry.access(clipPath().c_str());
    if (!entry || !input::readFrame(*entry, n, format, frame.bytes())) state.SkipWithError("read failed");
    n = (n + 1) % kFrames;
  }
  reportFrames(state);
}

void BM_Read_Host422(benchmark::State& state) { readAsHost(state, PixelFormat::Ycbcr422); }
void BM_Read_HostRgba32(benchmark::State& state) { readAsHost(state, PixelFormat::Rgba32); }
void BM_Read_Host444(benchmark::State& state) { readAsHost(state, PixelFormat::Ycbcr444); }

void BM_Write_PlainUnbuffered(benchmark::State& state) {
  const std::string path = (benchDirectory() / "plain-write.bin").string();
  std::filesystem::remove(path);  // a fresh inode, as createForWriting's first truncation gives the host path
  platform::StreamHandle handle = openOrSkip(state, path);
  platform::PageBuffer frame(kBlockBytes);
  std::memset(frame.data(), 128, frame.size());
  std::uint32_t n = 0;
  handle.seek(qvf::kWrittenDataOffset);
  for (auto _ : state) {
    const platform::Transfer written = handle.write(frame.bytes());
    if (!written.ok || written.count != kBlockBytes) state.SkipWithError("short write");
    if (++n == kWriteFrames) {
      // Started over as the host path starts its file over: the same inode,
      // truncated, so both paths meet the same block allocation.
      state.PauseTiming();
      handle = platform::StreamHandle();
      std::filesystem::resize_file(path, 0);
      handle = openOrSkip(state, path);
      handle.seek(qvf::kWrittenDataOffset);
      n = 0;
      state.ResumeTiming();
    }
  }
  reportFrames(state);
}

void writeAsHost(benchmark::State& state, PixelFormat format) {
  const std::string path = (benchDirectory() / "host-write.qvf").string();
  qvf::OpenFileRegistry registry;
  output::createForWriting(registry, kMode, path.c_str());
  HostFrame frame(exports::frameBytes(format, kMode.frameWidth, kMode.frameHeight));
  std::uint32_t n = 0;
  for (auto _ : state) {
    if (!output::writeFrame(registry, kMode, path.c_str(), format, frame.bytes()))
      state.SkipWithError("write failed");
    if (++n == kWriteFrames) {
      state.PauseTiming();
      output::createForWriting(registry, kMode, path.c_str());
      n = 0;
      state.ResumeTiming();
    }
  }
  registry.closeByName(path.c_str());
  reportFrames(state);
}

void BM_Write_Host422(benchmark::State& state) { writeAsHost(state, PixelFormat::Ycbcr422); }
void BM_Write_HostRgba32(benchmark::State& state) { writeAsHost(state, PixelFormat::Rgba32); }
void BM_Write_Host444(benchmark::State& state) { writeAsHost(state, PixelFormat::Ycbcr444); }

#define CORVANE_FILE_BENCH(name) BENCHMARK(name)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0)

CORVANE_FILE_BENCH(BM_Read_PlainUnbuffered);
CORVANE_FILE_BENCH(BM_Read_Host422);
CORVANE_FILE_BENCH(BM_Read_HostRgba32);
CORVANE_FILE_BENCH(BM_Read_Host444);
CORVANE_FILE_BENCH(BM_Write_PlainUnbuffered);
CORVANE_FILE_BENCH(BM_Write_Host422);
CORVANE_FILE_BENCH(BM_Write_HostRgba32);
CORVANE_FILE_BENCH(BM_Write_Host444);

}  // namespace
