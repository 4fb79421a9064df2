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
// the written files start over every kWriteFrames frames.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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

// One file being written frame after frame, started over (truncated in
// place) every kWriteFrames frames.
class PlainWriter {
 public:
  explicit PlainWriter(std::string path) : path_(std::move(path)), frame_(kBlockBytes) {
    std::memset(frame_.data(), 128, frame_.size());
    std::filesystem::remove(path_);
    restart();
  }
  bool writeFrame() {
    const platform::Transfer written = handle_.write(frame_.bytes());
    return written.ok && written.count == kBlockBytes;
  }
  void restart() {
    handle_ = platform::StreamHandle();
    std::error_code ec;
    std::filesystem::resize_file(path_, 0, ec);
    handle_ = platform::StreamHandle::open(path_.c_str());
    handle_.seek(qvf::kWrittenDataOffset);
  }
  bool unbuffered() const { return handle_.unbuffered(); }

 private:
  std::string path_;
  platform::StreamHandle handle_;
  platform::PageBuffer frame_;
};

class HostWriter {
 public:
  HostWriter(std::string path, PixelFormat format)
      : path_(std::move(path)),
        format_(format),
        frame_(exports::frameBytes(format, kMode.frameWidth, kMode.frameHeight)) {
    restart();
  }
  ~HostWriter() { registry_.closeByName(path_.c_str()); }
  bool writeFrame() { return output::writeFrame(registry_, kMode, path_.c_str(), format_, frame_.bytes()); }
  void restart() { output::createForWriting(registry_, kMode, path_.c_str()); }

 private:
  std::string path_;
  PixelFormat format_;
  qvf::OpenFileRegistry registry_;
  HostFrame frame_;
};

// Writes, interleaved: every iteration appends one frame through each path in
// turn, each to its own file, and times each write alone. A disk's speed
// drifts by tens of percent over a run (writeback, the journal); interleaving
// frame by frame makes every path meet the same drift, which separate
// benchmarks, seconds apart, do not. The counters are each path's median
// microseconds per frame.
void BM_Write_Interleaved(benchmark::State& state) {
  const std::filesystem::path dir = benchDirectory();
  PlainWriter plain((dir / "plain-write.bin").string());
  HostWriter ycbcr422((dir / "host-write-422.qvf").string(), PixelFormat::Ycbcr422);
  HostWriter rgba32((dir / "host-write-rgba.qvf").string(), PixelFormat::Rgba32);
  HostWriter ycbcr444((dir / "host-write-444.qvf").string(), PixelFormat::Ycbcr444);
  state.SetLabel(plain.unbuffered() ? "unbuffered" : "buffered");
  std::vector<double> times[4];
  const auto timed = [&](std::size_t path, auto&& write) {
    const auto start = std::chrono::steady_clock::now();
    if (!write()) state.SkipWithError("write failed");
    times[path].push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
  };
  std::uint32_t n = 0;
  for (auto _ : state) {
    timed(0, [&] { return plain.writeFrame(); });
    timed(1, [&] { return ycbcr422.writeFrame(); });
    timed(2, [&] { return rgba32.writeFrame(); });
    timed(3, [&] { return ycbcr444.writeFrame(); });
    if (++n == kWriteFrames) {
      state.PauseTiming();
      plain.restart();
      ycbcr422.restart();
      rgba32.restart();
      ycbcr444.restart();
      n = 0;
      state.ResumeTiming();
    }
  }
  const char* names[4] = {"plain", "ycbcr422", "rgba32", "ycbcr444"};
  for (std::size_t path = 0; path < 4; ++path) {
    std::vector<double>& t = times[path];
    if (t.empty()) continue;
    std::nth_element(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(t.size() / 2), t.end());
    state.counters[names[path]] = t[t.size() / 2];
  }
  state.SetItemsProcessed(state.iterations());
}

#define CORVANE_FILE_BENCH(name) BENCHMARK(name)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0)

CORVANE_FILE_BENCH(BM_Read_PlainUnbuffered);
CORVANE_FILE_BENCH(BM_Read_Host422);
CORVANE_FILE_BENCH(BM_Read_HostRgba32);
CORVANE_FILE_BENCH(BM_Read_Host444);
BENCHMARK(BM_Write_Interleaved)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(4.0);

}  // namespace
