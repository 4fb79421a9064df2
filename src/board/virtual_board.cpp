#include "board/virtual_board.h"

#include <string>
#include <utility>

#include "platform/environment.h"
#include "platform/file_status.h"
#include "platform/message.h"
#include "platform/user.h"

namespace corvane::board {

VirtualBoard::VirtualBoard(BoardConfig config, platform::Clock& clock, OutputFileMaker makeOutputFile)
    : config_(std::move(config)),
      log_(config_.logPath),
      monitor_(MonitorWriter::open(config_.monitor)),
      switcher_(config_.faults.absent, log_),
      output_(log_, config_, clock, std::move(makeOutputFile)),
      input_(config_, switcher_, shown_, monitor_.get(), log_, clock) {
  switcher_.setFrameCount(config_.firstCount - 1);  // no frame delivered yet
  // The monitor shows every submitted frame; the loopback input needs them too.
  MonitorWriter* monitor = monitor_.get();
  const bool loopback = config_.input == InputSource::Loopback;
  if (monitor != nullptr || loopback) {
    output_.setWatcher([this, monitor, loopback](std::span<const std::uint8_t> frame, std::uint32_t lines) {
      if (loopback) shown_.show(frame);
      if (monitor != nullptr) monitor->publish(MonitorChannel::Output, frame, lines);
    });
  }
}

VirtualBoard::~VirtualBoard() = default;

engine::Handle VirtualBoard::OpenSwitcher(const char* name) { return switcher_.open(name); }

void VirtualBoard::CloseSwitcher(engine::Handle switcher) { switcher_.close(switcher); }

std::int32_t VirtualBoard::SetOutputControl(engine::Handle switcher, std::int32_t, std::int32_t,
                                            const char* name, engine::ControlType type,
                                            const std::int32_t* value) {
  return switcher_.setOutputControl(switcher, name, type, value);
}

std::int32_t VirtualBoard::SetInputControl(engine::Handle switcher, std::int32_t, std::int32_t,
                                           const char* name, engine::ControlType type,
                                           const std::int32_t* value) {
  return switcher_.setInputControl(switcher, name, type, value);
}

std::int32_t VirtualBoard::SwitcherCommand(engine::Handle switcher, std::uint32_t command, const void* data) {
  return switcher_.command(switcher, command, data);
}

std::uint32_t VirtualBoard::CurrentFrameCount(engine::Handle switcher, std::int32_t, std::int32_t) {
  return switcher_.currentFrameCount(switcher);
}

engine::Handle VirtualBoard::OpenOutputStream(const char* name, std::int32_t, std::int32_t,
                                              std::int32_t is625) {
  return output_.open(name, is625);
}

engine::Handle VirtualBoard::AcquireOutputFrame(engine::Handle stream, void** data, std::uint32_t* cookie) {
  return output_.acquireFrame(stream, data, cookie);
}

void VirtualBoard::SubmitOutputFrame(engine::Handle stream, engine::Handle token, std::uint32_t cookie) {
  output_.submitFrame(stream, token, cookie);
}

void VirtualBoard::CloseOutputStream(engine::Handle stream) { output_.close(stream); }

engine::Handle VirtualBoard::OpenEngine() { return input_.openEngine(); }

engine::Handle VirtualBoard::FindEngineObject(engine::Handle engine) {
  return input_.findEngineObject(engine);
}

engine::Handle VirtualBoard::CreateProbe(engine::Handle object, const char* name) {
  return input_.createProbe(object, name);
}

std::int32_t VirtualBoard::AttachProbe(engine::Handle probe, const char* pinName) {
  return input_.attach(probe, pinName);
}

std::int32_t VirtualBoard::SetProbeCallback(engine::Handle probe, void* context,
                                            engine::ProbeCallback callback) {
  return input_.setCallback(probe, context, callback);
}

std::int32_t VirtualBoard::FieldParity(const std::uint8_t* stamp) { return input_.fieldParity(stamp); }

std::uint32_t VirtualBoard::GetProbeSource(engine::Handle probe) { return input_.source(probe); }

void VirtualBoard::DestroyProbe(engine::Handle probe) { input_.destroyProbe(probe); }

void VirtualBoard::CloseEngine(engine::Handle engine) { input_.closeEngine(engine); }

void VirtualBoard::ReturnInputFrame(std::uint32_t source, std::uint32_t frameIdentifier) {
  input_.returnFrame(source, frameIdentifier);
}

std::string monitorNameInThisProcess(const BoardConfig& config) {
  if (!config.monitor.empty()) return config.monitor;
  return defaultMonitorName(platform::currentUserId(), platform::currentProcessId());
}

std::unique_ptr<VirtualBoard> makeBoardFromEnvironment(OutputFileMaker makeOutputFile) {
  // This runs while the library loads, before the C++ streams may be ready:
  // complaints go straight to the descriptor.
  BoardConfig config = parseBoardConfig(platform::environmentValue("CORVANE_BOARD").value_or(""));
  for (const std::string& problem : config.problems) {
    platform::writeErrorLine("CORVANE_BOARD: " + problem + " (ignored)");
  }
  if (config.monitor.empty()) {
    sweepStaleMonitors(platform::currentUserId());
    config.monitor = monitorNameInThisProcess(config);
  }
  auto board =
      std::make_unique<VirtualBoard>(std::move(config), platform::systemClock(), std::move(makeOutputFile));
  if (!board->logUsable()) {
    platform::writeErrorLine("CORVANE_BOARD: cannot append to log " + board->config().logPath);
  }
  return board;
}

}  // namespace corvane::board
