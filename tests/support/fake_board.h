// A board that records every call in the virtual board's log format
// ("SetOutputControl control.format 5 1"), for tests of the plug-in's logic.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "engine/realtime_engine.h"

namespace corvane::testing {

class FakeBoard : public engine::RealtimeEngine {
 public:
  int switcherOpensToFail = 0;  // how many OpenSwitcher calls give 0

  std::vector<std::string> calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    calls_.clear();
  }

  engine::Handle OpenSwitcher(const char* name) override {
    record(std::string("OpenSwitcher ") + name);
    if (switcherOpensToFail > 0) {
      --switcherOpensToFail;
      return 0;
    }
    return 0x5117;
  }
  void CloseSwitcher(engine::Handle) override { record("CloseSwitcher"); }
  std::int32_t SetOutputControl(engine::Handle, std::int32_t, std::int32_t, const char* name,
                                engine::ControlType type, const std::int32_t* value) override {
    record(control("SetOutputControl", name, type, *value));
    return 1;
  }
  std::int32_t SetInputControl(engine::Handle, std::int32_t, std::int32_t, const char* name,
                               engine::ControlType type, const std::int32_t* value) override {
    record(control("SetInputControl", name, type, *value));
    return 1;
  }
  std::int32_t SwitcherCommand(engine::Handle, std::uint32_t command, const void*) override {
    char text[32];
    std::snprintf(text, sizeof text, "SwitcherCommand 0x%x", command);
    record(text);
    return 1;
  }
  std::uint32_t CurrentFrameCount(engine::Handle, std::int32_t, std::int32_t) override { return 0; }
  engine::Handle OpenOutputStream(const char*, std::int32_t, std::int32_t, std::int32_t) override {
    return 0;
  }
  engine::Handle AcquireOutputFrame(engine::Handle, void**, std::uint32_t*) override { return 0; }
  void SubmitOutputFrame(engine::Handle, engine::Handle, std::uint32_t) override {}
  void CloseOutputStream(engine::Handle) override {}
  engine::Handle OpenEngine() override { return 0; }
  engine::Handle FindEngineObject(engine::Handle) override { return 0; }
  engine::Handle CreateProbe(engine::Handle, const char*) override { return 0; }
  std::int32_t AttachProbe(engine::Handle, const char*) override { return 0; }
  std::int32_t SetProbeCallback(engine::Handle, void*, engine::ProbeCallback) override { return 0; }
  std::int32_t FieldParity(const std::uint8_t*) override { return 0; }
  std::uint32_t GetProbeSource(engine::Handle) override { return 0; }
  void DestroyProbe(engine::Handle) override {}
  void CloseEngine(engine::Handle) override {}

 private:
  static std::string control(const char* op, const char* name, engine::ControlType type, std::int32_t value) {
    return std::string(op) + " " + name + " " + std::to_string(static_cast<int>(type)) + " " +
           std::to_string(value);
  }
  void record(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  std::mutex mutex_;
  std::vector<std::string> calls_;
};

}  // namespace corvane::testing
