// The board's contract: every RealtimeEngine entry the plug-in uses, and the
// one MediaBroker entry. The plug-in reaches the board only through these two
// interfaces; board/ implements them in software, tests put fakes behind them.
//
// Handles are opaque 32-bit values; 0 means failure. Results the callers
// ignore are still returned so that a fake can report them.
#pragma once

#include <cstdint>

namespace corvane::engine {

using Handle = std::uint32_t;

// Control types of SetOutputControl and SetInputControl.
enum class ControlType : std::int32_t {
  Integer = 4,   // contrast, brightness, saturation, hue, gains, offsets, agc, hypk
  Selector = 5,  // format, filter, pedestal, scphase, lumacomb, chromacomb, ctrap, tstcgn
};

// The per-field record the engine passes to a probe callback.
struct FrameInfoLayout {
  static constexpr std::uint32_t kFrameIdentifier = 4;  // u32
  static constexpr std::uint32_t kFrameCount = 12;      // u32, unsigned count
  static constexpr std::uint32_t kParityStamp = 20;     // read only by FieldParity
  static constexpr std::uint32_t kSamplesPerLine = 32;  // u32: 1716 (525) or 1728 (625)
  static constexpr std::uint32_t kSize = 36;
};

// Called on an engine thread for every delivered field.
using ProbeCallback = void (*)(void* context, void* data, const std::uint8_t* frameInfo);

class RealtimeEngine {
 public:
  virtual ~RealtimeEngine() = default;

  // 81, 82: the switcher is open from load to unload.
  virtual Handle OpenSwitcher(const char* name) = 0;
  virtual void CloseSwitcher(Handle switcher) = 0;
  // 100, 99: value points at a signed 32-bit integer.
  virtual std::int32_t SetOutputControl(Handle switcher, std::int32_t, std::int32_t, const char* name,
                                        ControlType type, const std::int32_t* value) = 0;
  virtual std::int32_t SetInputControl(Handle switcher, std::int32_t, std::int32_t, const char* name,
                                       ControlType type, const std::int32_t* value) = 0;
  // 86: data points at 16 bytes.
  virtual std::int32_t SwitcherCommand(Handle switcher, std::uint32_t command, const void* data) = 0;
  // 98
  virtual std::uint32_t CurrentFrameCount(Handle switcher, std::int32_t, std::int32_t) = 0;

  // 69, 72, 73, 70: the output stream. An acquired frame area holds
  // 720 x lines x 2 bytes.
  virtual Handle OpenOutputStream(const char* name, std::int32_t, std::int32_t, std::int32_t is625) = 0;
  virtual Handle AcquireOutputFrame(Handle stream, void** data, std::uint32_t* cookie) = 0;
  virtual void SubmitOutputFrame(Handle stream, Handle token, std::uint32_t cookie) = 0;
  virtual void CloseOutputStream(Handle stream) = 0;

  // 2, 5, 108, 111, 112, 26, 110, 109, 4: the input probe.
  virtual Handle OpenEngine() = 0;
  virtual Handle FindEngineObject(Handle engine) = 0;
  virtual Handle CreateProbe(Handle object, const char* name) = 0;
  // A null pin name detaches.
  virtual std::int32_t AttachProbe(Handle probe, const char* pinName) = 0;
  virtual std::int32_t SetProbeCallback(Handle probe, void* context, ProbeCallback callback) = 0;
  // stamp is the address of FrameInfo byte 20; gives 0 or 1.
  virtual std::int32_t FieldParity(const std::uint8_t* stamp) = 0;
  virtual std::uint32_t GetProbeSource(Handle probe) = 0;
  virtual void DestroyProbe(Handle probe) = 0;
  virtual void CloseEngine(Handle engine) = 0;
};

class MediaBroker {
 public:
  virtual ~MediaBroker() = default;
  // 62: hands a delivered field back; called at the end of every delivery.
  virtual void ReturnInputFrame(std::uint32_t source, std::uint32_t frameIdentifier) = 0;
};

}  // namespace corvane::engine
