// Frame reading speed from a 720 x 480 clip on disk, side by side in one run:
// the three read layouts through the registry, and a plain unbuffered read of
// the same bytes (one 691200-byte read per frame, no registry, no conversion).
// Unbuffered reads bypass the page cache, so every frame comes from the disk.
// The clip (200 frames) is made once under $CORVANE_BENCH_DIR, else
// /var/tmp/corvane-qvf-bench; keep it off tmpfs, which has no direct I/O.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/memory.h"
#include "qvf/container.h"
#include "qvf/reader.h"
#include "qvf/registry.h"
#include "qvf/writer.h"

namespace {

using namespace corvane;

constexpr std::int32_t kWidth = 720;
constexpr std::int32_t kLines = 240;
constexpr std::uint32_t kFrames = 200;
constexpr std::uint32_t kFieldBytes = kWidth * kLines * 2;
constexpr std::uint32_t kBlockBytes = 2 * kFieldBytes;
constexpr std::size_t kFrameBytes4 = std::size_t{kWidth} * kLines * 2 * 4;

const std::string& clipPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("CORVANE_BENCH_DIR");
    const std::filesystem::path folder = dir != nullptr ? dir : "/var/tmp/corvane-qvf-bench";
    std::filesystem::create_directories(folder);
    const std::string file = (folder / "clip-720x480.qvf").string();
    std::error_code ec;
    if (std::filesystem::file_size(file, ec) !=
        qvf::kWrittenDataOffset + std::uint64_t{kFrames} * kBlockBytes) {
      qvf::create(file.c_str(), 2, 0, kWidth, kLines, 29970026.0f / 1000000.0f);
      qvf::OpenFileRegistry registry;
      platform::PageBuffer frame(kBlockBytes);
      for (std::uint32_t n = 0; n < kFrames; ++n) {
        for (std::size_t i = 0; i < frame.size(); ++i)
          frame.data()[i] = static_cast<std::uint8_t>(16 + (i + n) % 220);
        qvf::writeFrame422(registry, file.c_str(), frame.data());
      }
    }
    return file;
  }();
  return path;
}

void reportFrames(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * std::int64_t{kBlockBytes});
}

void BM_QvfRead_PlainUnbuffered(benchmark::State& state) {
  platform::StreamHandle handle = platform::StreamHandle::open(clipPath().c_str());
  if (!handle.isOpen()) {
    state.SkipWithError("cannot open the clip");
    return;
  }
  state.SetLabel(handle.unbuffered() ? "unbuffered" : "buffered");
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

// The sized reads, as the host's file input calls them.
template <class Read>
void readThroughRegistry(benchmark::State& state, std::size_t bufferBytes, Read read) {
  qvf::OpenFileRegistry registry;
  const char* path = clipPath().c_str();
  platform::PageBuffer frame(bufferBytes);
  std::uint32_t n = 0;
  for (auto _ : state) {
    if (!read(registry, path, n, frame.bytes())) state.SkipWithError("read failed");
    n = (n + 1) % kFrames;
  }
  reportFrames(state);
}

void BM_QvfRead_Frame422(benchmark::State& state) {
  readThroughRegistry(state, kBlockBytes + 4,
                      [](auto& r, const char* p, std::uint32_t n, std::span<std::uint8_t> b) {
                        return qvf::readFrame422(r, p, n, b.data());
                      });
}
void BM_QvfRead_FrameBgra(benchmark::State& state) {
  readThroughRegistry(state, kFrameBytes4,
                      [](auto& r, const char* p, std::uint32_t n, std::span<std::uint8_t> b) {
                        return qvf::readFrameBgra(r, p, n, b);
                      });
}
void BM_QvfRead_Frame444(benchmark::State& state) {
  readThroughRegistry(state, kFrameBytes4,
                      [](auto& r, const char* p, std::uint32_t n, std::span<std::uint8_t> b) {
                        return qvf::readFrame444(r, p, n, b);
                      });
}

BENCHMARK(BM_QvfRead_PlainUnbuffered)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_QvfRead_Frame422)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_QvfRead_FrameBgra)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_QvfRead_Frame444)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);

}  // namespace
