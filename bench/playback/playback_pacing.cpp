// Playback pacing in real time: 600 frames through the output device's
// exports, each due at n x the frame period after the start, and how late the
// board put each on air (its shown= list), beside two bare loops for the same
// schedule in the same process: one that sleeps to each due time as an
// absolute deadline on a thread at the playback thread's priority (what the
// device's pacing can reach at best), and a plain one that polls every
// millisecond. Then what a frame allocates in the device, counted by the
// replaced operator new. Not a test: the figures depend on the machine and
// its load.
//
//   corvane_playback_bench [FRAMES]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "host/host_record.h"
#include "host/plugin_loader.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "support/allocation_counter.h"

namespace {

using corvane::host::RecordBuffer;

constexpr const char* kGuid422 = "349FC923-CAEA-11d1-818D-00A0C96E62CA";
constexpr std::size_t kFrame422 = 720 * 480 * 2 + 4;
constexpr std::uint32_t kStartAfter = 10;

struct Figures {
  std::int64_t p50 = 0, p99 = 0, max = 0;
  std::size_t drops = 0;
  std::int64_t first = 0, maxAfterFirst = 0;
  double allocationsPerFrame = 0;  // after the first frame; the output device only
};

Figures summarise(std::vector<std::int64_t> lateness, std::size_t drops) {
  Figures figures;
  figures.drops = drops;
  if (lateness.empty()) return figures;
  std::sort(lateness.begin(), lateness.end());
  auto at = [&](std::size_t percent) {
    const std::size_t rank = std::max<std::size_t>(1, (lateness.size() * percent + 99) / 100);
    return lateness[std::min(rank, lateness.size()) - 1];
  };
  figures.p50 = at(50);
  figures.p99 = at(99);
  figures.max = lateness.back();
  return figures;
}

// The first frame is due at the start itself: the device sees the start at
// its next 1 ms poll, so that frame's lateness is the poll's phase, not
// pacing. Shown apart, beside the worst of the others.
void splitFirst(Figures& figures, const std::vector<std::int64_t>& inOrder) {
  if (inOrder.empty()) return;
  figures.first = inOrder.front();
  figures.maxAfterFirst = inOrder.size() > 1 ? *std::max_element(inOrder.begin() + 1, inOrder.end()) : 0;
}

std::int64_t dueAt(std::uint32_t n) { return static_cast<std::int64_t>(std::uint64_t{n} * 1'001'000 / 30); }

Figures throughThePlugin(std::uint32_t frames, const std::string& shownPath) {
  corvane::platform::Clock& clock = corvane::platform::systemClock();
  corvane::host::LoadedPlugin plugin(CORVANE_PLUGIN_PATH);
  const corvane::host::AvfileApi& api = plugin.api();
  RecordBuffer descriptor(324), chosen(236), hostBlock(24), params(52);
  descriptor.setU32(0, 324);
  api.AVFILE_QueryInterfaceSink(descriptor.data());
  params.setAddress(24, chosen.data());
  params.setAddress(48, hostBlock.data());
  void* handle = nullptr;
  if (api.AVFILE_OpenSink(&handle, params.data()) != 1)
    throw std::runtime_error("the output device does not open");
  // One record for every frame: the host's side allocates nothing per frame,
  // so the count below is the device's.
  RecordBuffer record(496);
  std::uint64_t start = 0, afterFirst = 0;
  for (std::uint32_t n = 0; n < frames; ++n) {
    record.setU32(0, 496);
    record.setText(20, kGuid422);
    api.AVFILE_SinkGetEmptyBuffer(handle, record.data());
    std::memset(record.address(480), static_cast<int>(16 + n % 200), kFrame422);
    record.setU32(472, static_cast<std::uint32_t>(dueAt(n)));
    api.AVFILE_SinkAddFullBuffer(handle, record.data());
    if (n + 1 == kStartAfter) {
      start = clock.microseconds();
      api.AVFILE_StartSink(handle);
      // Frame 0 (due at once) is out, frame 1 not yet due: the count from
      // here on is that of the frames after the first.
      clock.sleepUntilMicroseconds(start + static_cast<std::uint64_t>(dueAt(1) / 2));
      afterFirst = corvane::testing::allocationCount();
    }
  }
  api.AVFILE_StopSink(handle);
  const std::uint64_t afterLast = corvane::testing::allocationCount();
  api.AVFILE_CloseSink(handle);
  api.AVFILE_CloseInterfaceSink(nullptr);

  std::ifstream in(shownPath);
  std::vector<std::int64_t> lateness;
  std::uint64_t n = 0, time = 0;
  for (std::string hash; in >> n >> time >> hash;) {
    lateness.push_back(static_cast<std::int64_t>(time - start) - dueAt(static_cast<std::uint32_t>(n - 1)));
  }
  Figures figures = summarise(lateness, frames - lateness.size());
  splitFirst(figures, lateness);
  figures.allocationsPerFrame =
      corvane::testing::allocationsPerFrameAfterFirst(afterFirst, afterLast, frames);
  return figures;
}

// The best the device's pacing can do here: a thread at the playback
// thread's priority (in a process raised as the device raises it) sleeps to
// each due time as an absolute deadline through the clock seam, takes the
// time it woke as the frame's submit, then copies a frame as the device
// prepares the next one. A frame more than a period late is counted as
// dropped, as below.
Figures absoluteDeadlineSleep(std::uint32_t frames) {
  std::vector<std::uint8_t> source(kFrame422 - 4, 0x80), output(kFrame422 - 4);
  std::vector<std::int64_t> lateness;
  lateness.reserve(frames);
  std::size_t drops = 0;
  corvane::platform::Thread thread;
  const std::error_code error =
      thread.start({"corvane-bare", corvane::platform::ThreadPriority::TimeCritical}, [&] {
        corvane::platform::raiseProcessToHighPriority();
        corvane::platform::Clock& clock = corvane::platform::systemClock();
        const std::uint64_t start = clock.microseconds();
        for (std::uint32_t n = 0; n < frames; ++n) {
          clock.sleepUntilMicroseconds(start + static_cast<std::uint64_t>(dueAt(n)));
          const std::int64_t late = static_cast<std::int64_t>(clock.microseconds() - start) - dueAt(n);
          if (late > dueAt(1)) ++drops;
          lateness.push_back(late);
          std::memcpy(output.data(), source.data(), output.size());
        }
      });
  if (error) throw std::system_error(error, "bare playback thread");
  thread.join();
  Figures figures = summarise(lateness, drops);
  splitFirst(figures, lateness);
  return figures;
}

// What a thread that sleeps a whole millisecond whenever the head is not due
// achieves for the same schedule. A frame more than a period late would have
// missed its slot on the board: counted as dropped.
Figures millisecondPoll(std::uint32_t frames) {
  corvane::platform::Clock& clock = corvane::platform::systemClock();
  std::vector<std::uint8_t> source(kFrame422, 0x80), output(kFrame422);
  std::vector<std::int64_t> lateness;
  std::size_t drops = 0;
  const std::uint64_t start = clock.microseconds();
  for (std::uint32_t n = 0; n < frames;) {
    const auto elapsed = static_cast<std::int64_t>(clock.microseconds() - start);
    if (elapsed < dueAt(n)) {
      clock.sleepMilliseconds(1);
      continue;
    }
    std::memcpy(output.data(), source.data(), output.size());
    const std::int64_t late = static_cast<std::int64_t>(clock.microseconds() - start) - dueAt(n);
    if (late > dueAt(1)) ++drops;
    lateness.push_back(late);
    ++n;
  }
  return summarise(lateness, drops);
}

double ratio(std::int64_t a, std::int64_t b) {
  return b > 0 ? static_cast<double>(a) / static_cast<double>(b) : 0;
}

void print(const char* name, const Figures& f) {
  std::printf("| %-24s | %6lld | %6lld | %6lld | %5zu |\n", name, static_cast<long long>(f.p50),
              static_cast<long long>(f.p99), static_cast<long long>(f.max), f.drops);
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint32_t frames =
      argc > 1 ? static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 600;
  const auto dir = std::filesystem::temp_directory_path() /
                   ("corvane-pacing-" + std::to_string(corvane::platform::systemClock().microseconds()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "VideoCorvane.ini") << "[VideoCorvane Configuration]\nVideoMode=1\nVeltrixScryOut=0\n";
  const std::string shown = (dir / "shown.txt").string();
  ::setenv("CORVANE_CONFIG_DIR", dir.c_str(), 1);
  ::setenv("CORVANE_BOARD", ("shown=" + shown).c_str(), 1);
  ::setenv("CORVANE_REFRESH_HZ", "0", 1);
  ::setenv("CORVANE_DIALOGS", "none", 1);
  int status = 0;
  try {
    const Figures plugin = throughThePlugin(frames, shown);
    const Figures deadline = absoluteDeadlineSleep(frames);
    const Figures poll = millisecondPoll(frames);
    std::printf("%u frames at 30000/1001 per second, lateness in microseconds after the due time\n\n",
                frames);
    std::printf("| pacing                   |    p50 |    p99 |    max | drops |\n");
    std::printf("|---|---:|---:|---:|---:|\n");
    print("output device (exports)", plugin);
    print("absolute-deadline sleep", deadline);
    print("plain 1 ms poll", poll);
    std::printf("\noutput device / absolute-deadline sleep: p99 %.2f x, max %.2f x\n",
                ratio(plugin.p99, deadline.p99), ratio(plugin.max, deadline.max));
    std::printf(
        "first frame (due at the start, seen at the device's next 1 ms poll): device %lld, bare %lld;"
        " max of the others: device %lld, bare %lld (%.2f x)\n",
        static_cast<long long>(plugin.first), static_cast<long long>(deadline.first),
        static_cast<long long>(plugin.maxAfterFirst), static_cast<long long>(deadline.maxAfterFirst),
        ratio(plugin.maxAfterFirst, deadline.maxAfterFirst));
    // The virtual board's submit writes the shown= line and publishes the
    // frame to its monitor; neither allocates (its call log would, per line,
    // but no log is set here), so the count is the device's alone.
    std::printf(
        "output device allocations per frame after the first: %.2f (the virtual board's submit"
        " included: it allocates only for a call log line, and no log is set)\n",
        plugin.allocationsPerFrame);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "corvane_playback_bench: %s\n", error.what());
    status = 1;
  }
  std::filesystem::remove_all(dir);
  return status;
}
