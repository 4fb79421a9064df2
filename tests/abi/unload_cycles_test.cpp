// A host that unloads the plug-in with devices still open: the unload ends
// each of them (record devices, the output device, their previews) before
// the code goes away. Many load and unload cycles in each state leave the
// process with the descriptors, threads and heap it had before them.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <signal.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "abi/device_host.h"
#include "abi/recording_harness.h"
#include "host/plugin_loader.h"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator answers for the heap; its header is not always
// installed, the function always is.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace corvane::abi {
namespace {

constexpr int kCycles = 100;
// A page or two of heap may move with the allocator's own bookkeeping, on
// top of what the system's loader keeps of each load (measured with a
// library that holds nothing).
constexpr std::size_t kHeapSlack = 8192;

std::size_t entriesIn(const char* directory) {
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    (void)entry;
    ++count;
  }
  return count;
}

std::size_t heapInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
#endif
}

bool pluginMapped() {
  std::ifstream maps("/proc/self/maps");
  const std::string name = std::filesystem::path(CORVANE_PLUGIN_PATH).filename().string();
  for (std::string line; std::getline(maps, line);) {
    if (line.find(name) != std::string::npos) return true;
  }
  return false;
}

// Heap the loader alone keeps over kCycles loads and unloads.
std::size_t loaderGrowth() {
  const std::size_t before = heapInUse();
  for (int i = 0; i < kCycles; ++i) {
    void* library = ::dlopen(CORVANE_STUB_PLUGIN_PATH, RTLD_NOW);
    if (library != nullptr) ::dlclose(library);
  }
  const std::size_t after = heapInUse();
  return after > before ? after - before : 0;
}

struct Snapshot {
  std::size_t descriptors, threads, heap;
};

Snapshot snapshot() { return {entriesIn("/proc/self/fd"), entriesIn("/proc/self/task"), heapInUse()}; }

// What the host leaves open before it unloads.
struct OpenState {
  const char* name;
  std::function<void(const AvfileApi&, const std::string& take)> leaveOpen;
};

void* openSink(const AvfileApi& api) {
  RecordBuffer descriptor(324);
  descriptor.setU32(0, 324);
  EXPECT_EQ(api.AVFILE_QueryInterfaceSink(descriptor.data()), 1);
  return openPlainSink(api);
}

void queueFrame(const AvfileApi& api, void* sink, std::uint32_t time) {
  RecordBuffer record = bufferRecord422();
  ASSERT_EQ(api.AVFILE_SinkGetEmptyBuffer(sink, record.data()), 1);
  record.setU32(472, time);
  EXPECT_EQ(api.AVFILE_SinkAddFullBuffer(sink, record.data()), 1);
}

class UnloadCycles : public RecordingHost {
 protected:
  UnloadCycles() {
    // A stand-in output preview beside the harness's input one.
    const std::string script = at("bin/ScryOut");
    std::ofstream(script) << "#!/bin/sh\necho $$ >> " << at("previews") << "\nexec sleep 60\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  }

  // Each preview the cycles started has ended and been reaped.
  void expectPreviewsGone(std::size_t atLeast) const {
    std::size_t seen = 0;
    for (const std::string& line : box_.readLines(at("previews"))) {
      if (line.empty()) continue;
      ++seen;
      EXPECT_EQ(::kill(std::stoi(line), 0), -1) << "preview " << line << " still exists";
    }
    EXPECT_GE(seen, atLeast);
  }

  // In a child: one cycle to settle what a first load sets up for good, then
  // kCycles cycles; the process must end them as it began them.
  void cycle(const OpenState& state) {
    const std::string take = at("take.qvf");
    const ChildOutcome outcome = runInChild(environmentFor(""), [&] {
      // Only this child's own findings count, not those the test had before.
      const ::testing::TestResult& result =
          *::testing::UnitTest::GetInstance()->current_test_info()->result();
      const int partsBefore = result.total_part_count();
      auto failed = [&] {
        for (int i = partsBefore; i < result.total_part_count(); ++i) {
          if (result.GetTestPartResult(i).failed()) return true;
        }
        return false;
      };
      auto once = [&] {
        host::LoadedPlugin plugin(CORVANE_PLUGIN_PATH);
        state.leaveOpen(plugin.api(), take);
        plugin.unload();
        EXPECT_FALSE(pluginMapped()) << "the library stayed loaded";
      };
      once();
      const std::size_t slack = kHeapSlack + loaderGrowth();
      const Snapshot before = snapshot();
      for (int i = 0; i < kCycles && !failed(); ++i) once();
      const Snapshot after = snapshot();
      EXPECT_EQ(after.descriptors, before.descriptors) << state.name;
      EXPECT_EQ(after.threads, before.threads) << state.name;
      EXPECT_LE(after.heap, before.heap + slack) << state.name << ": heap grew from " << before.heap;
      return failed() ? 3 : 0;
    });
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 0)
        << state.name << ": exit " << outcome.exitCode << ", signal " << outcome.signal;
  }
};

TEST_F(UnloadCycles, EveryDeviceLeftOpenEndsAtUnloadAndNothingIsLeftBehind) {
  const OpenState states[] = {
      {"nothing open", [](const AvfileApi&, const std::string&) {}},
      {"sink open and started",
       [](const AvfileApi& api, const std::string&) {
         void* sink = openSink(api);
         queueFrame(api, sink, 0);
         queueFrame(api, sink, 10'000'000);
         EXPECT_EQ(api.AVFILE_StartSink(sink), 1);
       }},
      {"record device open",
       [](const AvfileApi& api, const std::string&) { RecordingHost::openDevice(api); }},
      {"record device recording",
       [](const AvfileApi& api, const std::string& take) {
         void* device = RecordingHost::openDevice(api);
         ASSERT_EQ(RecordingHost::addFile(api, device, take.c_str()), 1);
         ASSERT_EQ(api.AVFILE_StartRecording(device), 1);
         // Bounded: a take that never gets a frame fails with what it saw.
         Position seen{};
         for (int i = 0; i < 2500 && seen.frames == 0; ++i) {
           seen = RecordingHost::position(api, device);
           if (seen.frames == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
         }
         ASSERT_GT(seen.frames, 0u) << "no frame recorded; position answered " << seen.answer;
       }},
  };
  for (const OpenState& state : states) cycle(state);
  expectPreviewsGone(2 * (kCycles + 1));
}

}  // namespace
}  // namespace corvane::abi
