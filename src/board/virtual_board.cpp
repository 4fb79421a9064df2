#include "board/virtual_board.h"

#include <iostream>
#include <string>
#include <utility>

#include "platform/environment.h"

namespace corvane::board {

VirtualBoard::VirtualBoard(BoardConfig config)
    : config_(std::move(config)), log_(config_.logPath), switcher_(config_.absent, log_) {}

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

// Output stream: logged only, no stream yet.

engine::Handle VirtualBoard::OpenOutputStream(const char* name, std::int32_t, std::int32_t,
                                              std::int32_t is625) {
  log_.write("OpenOutputStream " + std::string(name == nullptr ? "(null)" : name) + " " +
             std::to_string(is625));
  return 0;
}

engine::Handle VirtualBoard::AcquireOutputFrame(engine::Handle, void** data, std::uint32_t* cookie) {
  log_.write("AcquireOutputFrame");
  if (data != nullptr) *data = nullptr;
  if (cookie != nullptr) *cookie = 0;
  return 0;
}

void VirtualBoard::SubmitOutputFrame(engine::Handle, engine::Handle, std::uint32_t) {
  log_.write("SubmitOutputFrame");
}

void VirtualBoard::CloseOutputStream(engine::Handle) { log_.write("CloseOutputStream"); }

// Input probe: logged only, no fields are delivered yet.

engine::Handle VirtualBoard::OpenEngine() {
  log_.write("OpenEngine");
  return 0;
}

engine::Handle VirtualBoard::FindEngineObject(engine::Handle) {
  log_.write("FindEngineObject");
  return 0;
}

engine::Handle VirtualBoard::CreateProbe(engine::Handle, const char* name) {
  log_.write("CreateProbe " + std::string(name == nullptr ? "(null)" : name));
  return 0;
}

std::int32_t VirtualBoard::AttachProbe(engine::Handle, const char* pinName) {
  // A null pin detaches; the line then has no argument.
  log_.write(pinName == nullptr ? std::string("AttachProbe") : "AttachProbe " + std::string(pinName));
  return 0;
}

std::int32_t VirtualBoard::SetProbeCallback(engine::Handle, void*, engine::ProbeCallback) {
  log_.write("SetProbeCallback");
  return 0;
}

std::int32_t VirtualBoard::FieldParity(const std::uint8_t*) {
  log_.write("FieldParity");
  return 0;
}

std::uint32_t VirtualBoard::GetProbeSource(engine::Handle) {
  log_.write("GetProbeSource");
  return 0;
}

void VirtualBoard::DestroyProbe(engine::Handle) { log_.write("DestroyProbe"); }

void VirtualBoard::CloseEngine(engine::Handle) { log_.write("CloseEngine"); }

void VirtualBoard::ReturnInputFrame(std::uint32_t, std::uint32_t) { log_.write("ReturnInputFrame"); }

std::unique_ptr<VirtualBoard> makeBoardFromEnvironment() {
  BoardConfig config = parseBoardConfig(platform::environmentValue("CORVANE_BOARD").value_or(""));
  for (const std::string& problem : config.problems) {
    std::cerr << "CORVANE_BOARD: " << problem << " (ignored)\n";
  }
  auto board = std::make_unique<VirtualBoard>(std::move(config));
  if (!board->logUsable()) {
    std::cerr << "CORVANE_BOARD: cannot append to log " << board->config().logPath << "\n";
  }
  return board;
}

}  // namespace corvane::board
