#include "board/input_probe.h"

#include <string>

namespace corvane::board {

engine::Handle InputProbe::openEngine() {
  log_.write("OpenEngine");
  return 0;
}

engine::Handle InputProbe::findEngineObject(engine::Handle) {
  log_.write("FindEngineObject");
  return 0;
}

engine::Handle InputProbe::createProbe(engine::Handle, const char* name) {
  log_.write("CreateProbe " + std::string(logText(name)));
  return 0;
}

std::int32_t InputProbe::attach(engine::Handle, const char* pinName) {
  log_.write("AttachProbe " + std::string(logText(pinName)));  // "(null)" is a detach
  return 0;
}

std::int32_t InputProbe::setCallback(engine::Handle, void*, engine::ProbeCallback) {
  log_.write("SetProbeCallback");
  return 0;
}

std::int32_t InputProbe::fieldParity(const std::uint8_t*) {
  log_.write("FieldParity");
  return 0;
}

std::uint32_t InputProbe::source(engine::Handle) {
  log_.write("GetProbeSource");
  return 0;
}

void InputProbe::destroyProbe(engine::Handle) { log_.write("DestroyProbe"); }

void InputProbe::closeEngine(engine::Handle) { log_.write("CloseEngine"); }

void InputProbe::returnFrame(std::uint32_t source, std::uint32_t frameIdentifier) {
  log_.write("ReturnInputFrame " + std::to_string(source) + " " + std::to_string(frameIdentifier));
}

}  // namespace corvane::board
