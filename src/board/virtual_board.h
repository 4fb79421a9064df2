// The virtual board: a software RealtimeEngine and MediaBroker configured by
// CORVANE_BOARD. A thin front: each entry goes to the part of the board it
// belongs to (switcher, output stream, input probe), which share one call log.
// The switcher, the output stream and the input work.
#pragma once

#include <memory>

#include "board/board_config.h"
#include "board/call_log.h"
#include "board/input_probe.h"
#include "board/monitor.h"
#include "board/output_stream.h"
#include "board/shown_frame.h"
#include "board/switcher.h"
#include "engine/realtime_engine.h"
#include "platform/clock.h"

namespace corvane::board {

class VirtualBoard final : public engine::RealtimeEngine, public engine::MediaBroker {
 public:
  // clock paces the input and the output frames and must outlive the board;
  // makeOutputFile creates the output= file.
  explicit VirtualBoard(BoardConfig config, platform::Clock& clock = platform::systemClock(),
                        OutputFileMaker makeOutputFile = {});
  // Stops the input before its parts go.
  ~VirtualBoard() override;

  const BoardConfig& config() const { return config_; }
  // The switcher's state: controls, open handles, frame counter.
  Switcher& switcher() { return switcher_; }
  const Switcher& switcher() const { return switcher_; }
  OutputStream& outputStream() { return output_; }
  // False when a log path was configured but cannot be appended to.
  bool logUsable() const { return log_.usable(); }
  // The latest frame the output has shown, which input=loopback carries.
  ShownFrame& shownFrame() { return shown_; }
  // The standard the plug-in loaded with: what the input carries by default.
  void setLoadedStandard(VideoStandard standard) { input_.setLoadedStandard(standard); }
  // Where shown output and delivered input frames are published for the
  // preview programs; null when shared memory is not available.
  MonitorWriter* monitor() { return monitor_.get(); }

  engine::Handle OpenSwitcher(const char* name) override;
  void CloseSwitcher(engine::Handle switcher) override;
  std::int32_t SetOutputControl(engine::Handle switcher, std::int32_t, std::int32_t, const char* name,
                                engine::ControlType type, const std::int32_t* value) override;
  std::int32_t SetInputControl(engine::Handle switcher, std::int32_t, std::int32_t, const char* name,
                               engine::ControlType type, const std::int32_t* value) override;
  std::int32_t SwitcherCommand(engine::Handle switcher, std::uint32_t command, const void* data) override;
  std::uint32_t CurrentFrameCount(engine::Handle switcher, std::int32_t, std::int32_t) override;

  engine::Handle OpenOutputStream(const char* name, std::int32_t, std::int32_t, std::int32_t is625) override;
  engine::Handle AcquireOutputFrame(engine::Handle stream, void** data, std::uint32_t* cookie) override;
  void SubmitOutputFrame(engine::Handle stream, engine::Handle token, std::uint32_t cookie) override;
  void CloseOutputStream(engine::Handle stream) override;

  engine::Handle OpenEngine() override;
  engine::Handle FindEngineObject(engine::Handle engine) override;
  engine::Handle CreateProbe(engine::Handle object, const char* name) override;
  std::int32_t AttachProbe(engine::Handle probe, const char* pinName) override;
  std::int32_t SetProbeCallback(engine::Handle probe, void* context, engine::ProbeCallback callback) override;
  std::int32_t FieldParity(const std::uint8_t* stamp) override;
  std::uint32_t GetProbeSource(engine::Handle probe) override;
  void DestroyProbe(engine::Handle probe) override;
  void CloseEngine(engine::Handle engine) override;

  void ReturnInputFrame(std::uint32_t source, std::uint32_t frameIdentifier) override;

 private:
  BoardConfig config_;
  CallLog log_;
  // Before the parts that publish, so that it outlives them.
  std::unique_ptr<MonitorWriter> monitor_;
  Switcher switcher_;
  OutputStream output_;
  ShownFrame shown_;
  InputProbe input_;
};

// The board as CORVANE_BOARD describes it (unset: present, no log). Settings
// that cannot be understood, and a log that cannot be opened, are reported on
// stderr; the board is made all the same. Without a monitor key the board
// makes the process's own monitor, after sweeping those of dead processes.
std::unique_ptr<VirtualBoard> makeBoardFromEnvironment(OutputFileMaker makeOutputFile = {});

// The monitor a board of these settings makes in this process: the monitor
// key's, or the process's own (defaultMonitorName). A host that loaded the
// plug-in finds its board's monitor by it.
std::string monitorNameInThisProcess(const BoardConfig& config);

}  // namespace corvane::board
