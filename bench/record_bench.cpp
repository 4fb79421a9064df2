// The record device's throughput: takes of 3,000 frames from the virtual
// board's input at a fixed field rate, through the field callback and the
// capture thread into a QVF file on disk, beside a plain unbuffered write of
// the same 3,000 frames in the same run. One take at 30 times real time
// (1798 fields a second), then a search for the highest input rate whose take
// loses no frame. A take counts as lossy at its first lost frame of any cause,
// and is cut short there.
//
// Files go to $CORVANE_BENCH_DIR, else /var/tmp/corvane-qvf-bench (not tmpfs:
// it has no direct I/O). Run with --benchmark_filter=BM_Record.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "board/virtual_board.h"
#include "platform/file.h"
#include "platform/memory.h"
#include "qvf/container.h"
#include "record/record_device.h"

namespace corvane {
namespace {

constexpr std::uint32_t kTakeFrames = 3000;
constexpr std::size_t kFrameBytes = 720 * 480 * 2;
constexpr double kThirtyTimesFields = 1798;
constexpr int kBisections = 3;

using Clock = std::chrono::steady_clock;

std::filesystem::path benchDir() {
  const char* dir = std::getenv("CORVANE_BENCH_DIR");
  std::filesystem::path path = dir != nullptr && *dir != '\0' ? dir : "/var/tmp/corvane-qvf-bench";
  std::filesystem::create_directories(path);
  return path;
}

double seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

// Frames a second of one plain unbuffered 691200-byte write per frame.
double plainFramesPerSecond(const std::string& path) {
  std::filesystem::remove(path);
  platform::StreamHandle handle = platform::StreamHandle::open(path.c_str());
  platform::PageBuffer frame(kFrameBytes);
  std::memset(frame.data(), 128, frame.size());
  handle.seek(qvf::kWrittenDataOffset);
  const Clock::time_point start = Clock::now();
  for (std::uint32_t i = 0; i < kTakeFrames; ++i) handle.write(frame.bytes());
  const double rate = kTakeFrames / seconds(start);
  handle = platform::StreamHandle();
  std::filesystem::remove(path);
  return rate;
}

struct Take {
  bool lossless = false;
  std::uint32_t framesBeforeLoss = 0;
};

bool anyLost(const record::LostCounts& lost) {
  using record::LostCause;
  for (LostCause cause : {LostCause::WrongStandard, LostCause::UnfinishedFrame, LostCause::NoFreeSlot,
                          LostCause::FailedWrite}) {
    if (lost[static_cast<std::size_t>(cause)] != 0) return true;
  }
  return false;
}

Take recordTake(double fieldsPerSecond, const std::string& path) {
  board::BoardConfig config;
  config.inputRate = {board::InputRate::Pace::Fixed,
                      {static_cast<std::uint64_t>(fieldsPerSecond * 1000), 1000}};
  board::VirtualBoard board(config);
  board.setLoadedStandard(board::VideoStandard::Ntsc);
  const engine::Handle switcher = board.OpenSwitcher("apps.Veltrix.Switcher");
  qvf::OpenFileRegistry registry;
  std::atomic<bool> stopWhenDropped{false};
  Take take;
  {
    record::RecordDevice device({board, board, switcher, VideoMode{}, registry, qvf::diskStorage(),
                                 platform::systemClock(), stopWhenDropped});
    device.addFile(0, path.c_str());
    device.start();
    for (;;) {
      const std::uint32_t written = device.position().frames;
      if (anyLost(device.lostByCause())) {
        take.framesBeforeLoss = written;
        break;
      }
      if (written >= kTakeFrames) {
        take.lossless = true;
        take.framesBeforeLoss = written;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    device.stop();
  }
  board.CloseSwitcher(switcher);
  std::filesystem::remove(path);
  return take;
}

void BM_Record_LosslessRate(benchmark::State& state) {
  const std::filesystem::path dir = benchDir();
  const std::string take = (dir / "record-take.qvf").string();
  for (auto _ : state) {
    const double plainFrames = plainFramesPerSecond((dir / "record-plain.bin").string());
    const Take thirty = recordTake(kThirtyTimesFields, take);
    // Rates in frames a second; the input delivers two fields a frame.
    double lossless = 0, lossy = 0, rate = plainFrames;
    while (lossless == 0 || lossy == 0) {
      if (recordTake(2 * rate, take).lossless) {
        lossless = rate;
        rate *= 1.25;
      } else {
        lossy = rate;
        rate *= 0.8;
      }
      if (rate > 4 * plainFrames || rate < 1) break;
    }
    for (int i = 0; i < kBisections && lossless != 0 && lossy != 0; ++i) {
      rate = (lossless + lossy) / 2;
      (recordTake(2 * rate, take).lossless ? lossless : lossy) = rate;
    }
    state.counters["plain_fps"] = plainFrames;
    state.counters["lossless_fps"] = lossless;
    state.counters["lossless_of_plain"] = lossless / plainFrames;
    state.counters["x30_lossless"] = thirty.lossless ? 1 : 0;
    state.counters["x30_frames_before_loss"] = thirty.framesBeforeLoss;
  }
}
BENCHMARK(BM_Record_LosslessRate)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace corvane
