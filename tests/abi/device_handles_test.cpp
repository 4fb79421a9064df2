// Device handles a host should not pass: one it has already closed, one the
// plug-in never gave out, one of the other device. Each export answers 0,
// shows no message (the message log stays empty) and the host lives on.
// And a frame buffer the host still holds when the output interface closes
// stays its to write.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "abi/device_host.h"
#include "abi/recording_harness.h"

namespace corvane::abi {
namespace {

// One export called with a handle; held is a buffer the host took from the
// sink while it was open (the add-full-buffer case hands it back).
struct HandleCall {
  const char* name;
  std::function<std::int32_t(const AvfileApi&, void* handle, RecordBuffer& held)> call;
};

const std::vector<HandleCall>& sinkCalls() {
  static const std::vector<HandleCall> calls = {
      {"CloseSink", [](const AvfileApi& api, void* h, RecordBuffer&) { return api.AVFILE_CloseSink(h); }},
      {"SinkGetEmptyBuffer",
       [](const AvfileApi& api, void* h, RecordBuffer&) {
         RecordBuffer record = bufferRecord422();
         return api.AVFILE_SinkGetEmptyBuffer(h, record.data());
       }},
      {"SinkAddFullBuffer",
       [](const AvfileApi& api, void* h, RecordBuffer& held) {
         held.setU32(472, 40'000);
         return api.AVFILE_SinkAddFullBuffer(h, held.data());
       }},
      {"StartSink", [](const AvfileApi& api, void* h, RecordBuffer&) { return api.AVFILE_StartSink(h); }},
      {"StopSink", [](const AvfileApi& api, void* h, RecordBuffer&) { return api.AVFILE_StopSink(h); }},
      {"GetSinkInfo",
       [](const AvfileApi& api, void* h, RecordBuffer&) {
         RecordBuffer info(1068, kHostFill);
         return api.AVFILE_GetSinkInfo(h, info.data());
       }},
  };
  return calls;
}

const std::vector<HandleCall>& recordCalls() {
  static const std::vector<HandleCall> calls = {
      {"CloseRecording",
       [](const AvfileApi& api, void* h, RecordBuffer&) { return api.AVFILE_CloseRecording(h); }},
      {"GetPositionRecording",
       [](const AvfileApi& api, void* h, RecordBuffer&) {
         RecordBuffer position(8, kHostFill);
         position.setU32(0, 8);
         return api.AVFILE_GetPositionRecording(h, position.data());
       }},
      {"StartRecording",
       [](const AvfileApi& api, void* h, RecordBuffer&) { return api.AVFILE_StartRecording(h); }},
      {"StopRecording",
       [](const AvfileApi& api, void* h, RecordBuffer&) { return api.AVFILE_StopRecording(h); }},
      {"AddRecordingFile",
       [](const AvfileApi& api, void* h, RecordBuffer&) {
         static const char kPath[] = "/nonexistent-corvane-dir/take.qvf";
         RecordBuffer params(32, 0);
         params.setU32(0, 32);
         params.setU32(16, static_cast<std::uint32_t>(platform::moduleBaseOf(
                               reinterpret_cast<const void*>(api.AVFILE_OpenRecording))));
         params.setAddress(20, kPath);
         return api.AVFILE_AddRecordingFile(h, params.data());
       }},
      {"RemoveRecordingFile",
       [](const AvfileApi& api, void* h, RecordBuffer&) {
         RecordBuffer params(16, 0);
         params.setU32(0, 16);
         return api.AVFILE_RemoveRecordingFile(h, params.data());
       }},
  };
  return calls;
}

class HostileHandles : public RecordingHost {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(box_.configDir());
    box_.writeFile(box_.iniPath(), "[VideoCorvane Configuration]\nVeltrixScryOut=0\nVeltrixScryIn=0\n");
  }
  // Every call of calls with handle answers 0.
  static void expectRefused(const AvfileApi& api, const std::vector<HandleCall>& calls, void* handle,
                            RecordBuffer& held, const std::string& kind) {
    for (const HandleCall& c : calls) EXPECT_EQ(c.call(api, handle, held), 0) << c.name << " with " << kind;
  }
};

TEST_F(HostileHandles, EveryDeviceExportRefusesClosedWildAndForeignHandles) {
  inPluginOn("", [](const AvfileApi& api) {
    RecordBuffer descriptor(324);
    descriptor.setU32(0, 324);
    ASSERT_EQ(api.AVFILE_QueryInterfaceSink(descriptor.data()), 1);
    // A host-owned block the plug-in never gave out, and an address that
    // points nowhere.
    RecordBuffer stranger(1024, kHostFill);
    void* const wild[] = {stranger.data(), reinterpret_cast<void*>(std::uintptr_t{0x10})};

    void* sink = openPlainSink(api);
    RecordBuffer held = bufferRecord422();
    ASSERT_EQ(api.AVFILE_SinkGetEmptyBuffer(sink, held.data()), 1);
    void* device = RecordingHost::openDevice(api);

    // Each device refuses the other's live handle.
    expectRefused(api, sinkCalls(), device, held, "a record device handle");
    expectRefused(api, recordCalls(), sink, held, "a sink handle");
    for (void* handle : wild) {
      expectRefused(api, sinkCalls(), handle, held, "a wild handle");
      expectRefused(api, recordCalls(), handle, held, "a wild handle");
    }

    ASSERT_EQ(api.AVFILE_CloseSink(sink), 1);
    ASSERT_EQ(api.AVFILE_CloseRecording(device), 1);
    expectRefused(api, sinkCalls(), sink, held, "a closed sink handle");
    expectRefused(api, recordCalls(), device, held, "a closed record device handle");
    EXPECT_EQ(api.AVFILE_CloseInterfaceSink(nullptr), 1);
  });
}

TEST_F(HostileHandles, ABufferHeldWhenTheOutputInterfaceClosesCanStillBeWritten) {
  inPluginOn("", [](const AvfileApi& api) {
    RecordBuffer descriptor(324);
    descriptor.setU32(0, 324);
    ASSERT_EQ(api.AVFILE_QueryInterfaceSink(descriptor.data()), 1);
    void* sink = openPlainSink(api);
    RecordBuffer held = bufferRecord422();
    ASSERT_EQ(api.AVFILE_SinkGetEmptyBuffer(sink, held.data()), 1);
    ASSERT_EQ(api.AVFILE_CloseSink(sink), 1);
    ASSERT_EQ(api.AVFILE_CloseInterfaceSink(nullptr), 1);
    // The host writes its last frame after all.
    auto* data = static_cast<std::uint8_t*>(held.address(480));
    const std::uint32_t size = held.u32(484);
    ASSERT_EQ(size, kFrame422);
    std::memset(data, 0x5A, size);
    EXPECT_EQ(data[size - 1], 0x5A);
  });
}

}  // namespace
}  // namespace corvane::abi
