// Frame transfers as the host's file input and file output make them, side by
// side in one run with a plain unbuffered transfer of the same bytes (one
// 691200-byte read or write per frame, no registry, no conversion). The file
// paths are the functions the export shims call (input::readFrame,
// output::writeFrame), with the host's frame buffer from malloc, as a host's
// allocator hands it out: not sector-aligned. Unbuffered transfers bypass the
// page cache, so every frame meets the disk. Each path's allocations per frame
// are counted too (the counting operator new of the bench executable): a file's
// first frame, which opens it, is made outside the counted runs.
//
// Files go to $CORVANE_BENCH_DIR, else /var/tmp/corvane-qvf-bench; keep them
// off tmpfs, which has no direct I/O. The read clip (200 frames) is made once,
// with a copy for each reading path; the written files start over every
// kWriteFrames frames.
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
#include "support/allocation_counter.h"

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

// The clip, made once through the host's 4:2:2 path, and one copy of it for
// each reading path: an open file excludes every other frame-file open.
std::string clipPath(const char* copy) {
  static const std::string original = [] {
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
  const std::string path = (benchDirectory() / (std::string("clip-720x480-") + copy + ".qvf")).string();
  std::error_code ec;
  if (std::filesystem::file_size(path, ec) != std::filesystem::file_size(original))
    std::filesystem::copy_file(original, path, std::filesystem::copy_options::overwrite_existing);
  return path;
}

// The four paths of a direction, in the order they take turns.
constexpr std::size_t kPaths = 4;
const char* const kPathNames[kPaths] = {"plain", "ycbcr422", "rgba32", "ycbcr444"};

// Runs of kRunFrames frames, one path after the other, each run timed as a
// whole. A disk's speed drifts by tens of percent over a run (writeback, the
// journal, the host's cache); taking turns every few milliseconds makes every
// path meet the same drift, which separate benchmarks, seconds apart, do not.
// A run ends once its path's helper thread is idle, inside the timing: the
// read ahead or the write behind of its last frame is its own work, and never
// runs into the next path's turn.
constexpr std::uint32_t kRunFrames = 25;

class RunTimes {
 public:
  // Reserved ahead, so that no run's timing includes the growth of a vector.
  explicit RunTimes(std::size_t runs) {
    for (std::vector<double>& t : times_) t.reserve(runs);
  }

  // One run of each path, in kPathNames order, each making it with run().
  // Each round starts one path later than the round before, so that no path
  // always follows the same one (a disk or its host may still be busy with
  // the path before).
  template <class... Paths>
  bool round(Paths&... paths) {
    static_assert(sizeof...(Paths) == kPaths);
    void* const objects[kPaths] = {&paths...};
    bool (*const runs[kPaths])(void*) = {[](void* path) { return static_cast<Paths*>(path)->run(); }...};
    const std::size_t first = rounds_++ % kPaths;
    for (std::size_t k = 0; k < kPaths; ++k) {
      const std::size_t path = (first + k) % kPaths;
      if (!time(path, [&] { return runs[path](objects[path]); })) return false;
    }
    return true;
  }

  // Each path's median microseconds per frame, and its allocations per frame
  // (the first frame of every file is made outside the runs).
  void report(benchmark::State& state) {
    for (std::size_t path = 0; path < kPaths; ++path) {
      std::vector<double>& t = times_[path];
      if (t.empty()) continue;
      std::nth_element(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(t.size() / 2), t.end());
      state.counters[kPathNames[path]] = t[t.size() / 2];
      state.counters[std::string(kPathNames[path]) + "_allocs_per_frame"] =
          static_cast<double>(allocations_[path]) / static_cast<double>(frames_[path]);
    }
    state.SetItemsProcessed(state.iterations());
  }

 private:
  // Times one run of path and counts what it allocated.
  template <class Run>
  bool time(std::size_t path, Run&& run) {
    const std::uint64_t allocationsBefore = testing::allocationCount();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = run();
    const auto end = std::chrono::steady_clock::now();
    allocations_[path] += testing::allocationCount() - allocationsBefore;
    frames_[path] += kRunFrames;
    times_[path].push_back(std::chrono::duration<double, std::micro>(end - start).count() / kRunFrames);
    return ok;
  }

  std::vector<double> times_[kPaths];
  std::uint64_t allocations_[kPaths] = {};
  std::uint64_t frames_[kPaths] = {};
  std::size_t rounds_ = 0;
};

// Waits until the helper thread of path's open file is idle.
void settle(qvf::OpenFileRegistry& registry, const std::string& path) {
  if (qvf::OpenFileRegistry::Access entry = registry.access(path.c_str())) entry->stream->settleHelper();
}

// Reads frame after frame of its own copy of the clip, wrapping at the end.
class PlainReader {
 public:
  explicit PlainReader(const std::string& path) : handle_(platform::StreamHandle::open(path.c_str())) {
    handle_.seek(qvf::kWrittenDataOffset);
  }
  bool run() {
    for (std::uint32_t i = 0; i < kRunFrames; ++i) {
      const platform::Transfer read = handle_.read(frame_.bytes());
      if (!read.ok || read.count != kBlockBytes) return false;
      if (++n_ == kFrames) {
        n_ = 0;
        handle_.seek(qvf::kWrittenDataOffset);
      }
    }
    return true;
  }
  bool unbuffered() const { return handle_.unbuffered(); }

 private:
  platform::StreamHandle handle_;
  platform::PageBuffer frame_{kBlockBytes};
  std::uint32_t n_ = 0;
};

// As the shim reads: the registry entered once a frame, the frame read under
// the entry's lock, into the host's buffer.
class HostReader {
 public:
  HostReader(std::string path, PixelFormat format)
      : path_(std::move(path)),
        format_(format),
        frame_(input::requiredBufferBytes(format, {kMode.frameWidth, kMode.frameHeight})) {
    // The open and its allocations happen here, outside the runs.
    readOne();
    settle(registry_, path_);
  }
  bool run() {
    for (std::uint32_t i = 0; i < kRunFrames; ++i)
      if (!readOne()) return false;
    settle(registry_, path_);
    return true;
  }

 private:
  bool readOne() {
    qvf::OpenFileRegistry::Access entry = registry_.access(path_.c_str());
    const bool ok = entry && input::readFrame(*entry, n_, format_, frame_.bytes());
    n_ = (n_ + 1) % kFrames;
    return ok;
  }
  std::string path_;
  PixelFormat format_;
  qvf::OpenFileRegistry registry_;
  HostFrame frame_;
  std::uint32_t n_ = 0;
};

void BM_Read_Interleaved(benchmark::State& state) {
  PlainReader plain(clipPath("plain"));
  HostReader ycbcr422(clipPath("422"), PixelFormat::Ycbcr422);
  HostReader rgba32(clipPath("rgba"), PixelFormat::Rgba32);
  HostReader ycbcr444(clipPath("444"), PixelFormat::Ycbcr444);
  state.SetLabel(plain.unbuffered() ? "unbuffered" : "buffered");
  RunTimes times(1 << 16);
  for (auto _ : state) {
    const bool ok = times.round(plain, ycbcr422, rgba32, ycbcr444);
    if (!ok) state.SkipWithError("read failed");
  }
  times.report(state);
}

// One file being written frame after frame, started over (truncated in
// place) every kWriteFrames frames.
class PlainWriter {
 public:
  explicit PlainWriter(std::string path) : path_(std::move(path)), frame_(kBlockBytes) {
    std::memset(frame_.data(), 128, frame_.size());
    std::filesystem::remove(path_);
    restart();
  }
  bool run() {
    for (std::uint32_t i = 0; i < kRunFrames; ++i) {
      const platform::Transfer written = handle_.write(frame_.bytes());
      if (!written.ok || written.count != kBlockBytes) return false;
    }
    return true;
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
  bool run() {
    for (std::uint32_t i = 0; i < kRunFrames; ++i)
      if (!writeOne()) return false;
    settle(registry_, path_);
    return true;
  }
  // A new file, opened by its first frame: the open and its allocations
  // happen here, outside the runs.
  void restart() {
    output::createForWriting(registry_, kMode, path_.c_str());
    writeOne();
    settle(registry_, path_);
  }

 private:
  bool writeOne() { return output::writeFrame(registry_, kMode, path_.c_str(), format_, frame_.bytes()); }
  std::string path_;
  PixelFormat format_;
  qvf::OpenFileRegistry registry_;
  HostFrame frame_;
};

void BM_Write_Interleaved(benchmark::State& state) {
  const std::filesystem::path dir = benchDirectory();
  PlainWriter plain((dir / "plain-write.bin").string());
  HostWriter ycbcr422((dir / "host-write-422.qvf").string(), PixelFormat::Ycbcr422);
  HostWriter rgba32((dir / "host-write-rgba.qvf").string(), PixelFormat::Rgba32);
  HostWriter ycbcr444((dir / "host-write-444.qvf").string(), PixelFormat::Ycbcr444);
  state.SetLabel(plain.unbuffered() ? "unbuffered" : "buffered");
  RunTimes times(1 << 16);
  std::uint32_t frames = 0;
  for (auto _ : state) {
    const bool ok = times.round(plain, ycbcr422, rgba32, ycbcr444);
    if (!ok) state.SkipWithError("write failed");
    frames += kRunFrames;
    if (frames >= kWriteFrames) {
      state.PauseTiming();
      plain.restart();
      ycbcr422.restart();
      rgba32.restart();
      ycbcr444.restart();
      frames = 0;
      state.ResumeTiming();
    }
  }
  times.report(state);
}

BENCHMARK(BM_Read_Interleaved)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(4.0);
BENCHMARK(BM_Write_Interleaved)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(4.0);

}  // namespace
