// A host that unloads the plug-in with devices still open: the unload ends
// each of them (record devices, the output device, their previews) before
// the code goes away. Many load and unload cycles in each state leave the
// process with the descriptors, threads and heap it had before them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "abi/device_host.h"
#include "abi/recording_harness.h"
#include "host/plugin_loader.h"
#include "platform/dynamic_library.h"
#include "support/process_resources.h"
#include "support/system.h"

namespace corvane::abi {
namespace {

using corvane::testing::ProcessResources;

// A hundred unless CORVANE_UNLOAD_CYCLES says otherwise (Wine's loads are slow).
int cycleCount() {
  const auto text = corvane::testing::environmentValue("CORVANE_UNLOAD_CYCLES");
  const int count = text ? std::atoi(text->c_str()) : 0;
  return count > 0 ? count : 100;
}

// A page or two of heap may move with the allocator's own bookkeeping, on
// top of what the system's loader keeps of each load (measured with a
// library that holds nothing).
constexpr std::size_t kHeapSlack = 8192;

std::string fileNameOf(const char* path) {
  std::string name(path);
  const std::size_t slash = name.find_last_of("/\\");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::size_t growth(std::size_t before, std::size_t after) { return after > before ? after - before : 0; }

// What the system's loader alone keeps over cycles loads and unloads of a
// library that holds nothing (under Wine, a handle or two and some heap each).
ProcessResources loaderGrowth(int cycles) {
  const ProcessResources before = corvane::testing::processResources();
  for (int i = 0; i < cycles; ++i) {
    std::string error;
    platform::DynamicLibrary library = platform::DynamicLibrary::open(CORVANE_STUB_PLUGIN_PATH, error);
    EXPECT_TRUE(library.loaded()) << error;
  }
  const ProcessResources after = corvane::testing::processResources();
  return {growth(before.handles, after.handles), growth(before.threads, after.threads),
          growth(before.heap, after.heap)};
}

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
    std::filesystem::copy_file(CORVANE_STAND_IN_PATH, box_.dir() / "bin" / ("ScryOut" CORVANE_EXE_SUFFIX),
                               std::filesystem::copy_options::overwrite_existing);
  }

  // Each preview the cycles started has ended and been reaped. A preview the
  // unload ends at once may not have noted itself yet: a share of them is
  // enough to show that the previews did start.
  void expectPreviewsGone(std::size_t atLeast) const {
    std::size_t seen = 0;
    for (const std::string& line : box_.readLines(at("previews"))) {
      if (line.empty()) continue;
      ++seen;
      EXPECT_FALSE(corvane::testing::processExists(std::stoi(line))) << "preview " << line << " still exists";
    }
    EXPECT_GE(seen, atLeast);
  }

  // In a child: one cycle to settle what a first load sets up for good, then
  // cycleCount() cycles; the process must end them as it began them, but for
  // what the loader keeps of as many loads of a library that holds nothing.
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
      const int cycles = cycleCount();
      auto once = [&] {
        host::LoadedPlugin plugin(CORVANE_PLUGIN_PATH);
        state.leaveOpen(plugin.api(), take);
        plugin.unload();
        EXPECT_FALSE(corvane::testing::libraryLoaded(fileNameOf(CORVANE_PLUGIN_PATH)))
            << "the library stayed loaded";
      };
      once();
      const ProcessResources loader = loaderGrowth(cycles);
      const ProcessResources before = corvane::testing::processResources();
      for (int i = 0; i < cycles && !failed(); ++i) once();
      const ProcessResources after = corvane::testing::processResources();
      EXPECT_LE(after.handles, before.handles + loader.handles)
          << state.name << ": from " << before.handles << ", the loader alone keeps " << loader.handles;
      EXPECT_EQ(after.threads, before.threads) << state.name;
#if !defined(_WIN32)
      // Not on Windows: the MinGW threads library makes each std::mutex's
      // state on its first lock and std::mutex never frees it, 20 bytes a
      // mutex and load; only a mutex of our own would end that.
      EXPECT_LE(after.heap, before.heap + kHeapSlack + loader.heap)
          << state.name << ": heap grew from " << before.heap << ", the loader alone keeps " << loader.heap;
#endif
      if (!failed()) return 0;
      // The parent sees the child's stderr, not its findings.
      for (int i = partsBefore; i < result.total_part_count(); ++i) {
        if (result.GetTestPartResult(i).failed()) std::cerr << result.GetTestPartResult(i).message() << "\n";
      }
      return 3;
    });
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 0)
        << state.name << ": exit " << outcome.exitCode << ", signal " << outcome.signal;
  }
};

TEST_F(UnloadCycles, EveryDeviceLeftOpenEndsAtUnloadAndNothingIsLeftBehind) {
  const OpenState states[] = {
      {"nothing open", [](const AvfileApi&, const std::string&) {}},
      // The device's threads start and the code goes at once.
      {"sink open", [](const AvfileApi& api, const std::string&) { openSink(api); }},
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
  expectPreviewsGone(cycleCount() / 2);
}

}  // namespace
}  // namespace corvane::abi
