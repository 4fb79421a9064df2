#include "board/switcher.h"

#include <cstdio>

namespace corvane::board {
namespace {

// Switcher handles carry their own high byte so that a stream or probe handle
// passed by mistake is never taken for an open switcher.
constexpr engine::Handle kFirstSwitcherHandle = 0x53000001;

std::string hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
  return text;
}

}  // namespace

Switcher::Switcher(bool absent, CallLog& log)
    : absent_(absent), log_(log), nextHandle_(kFirstSwitcherHandle) {}

engine::Handle Switcher::open(const char* name) {
  std::lock_guard guard(lock_);
  log_.write("OpenSwitcher " + std::string(logText(name)));
  if (absent_ || name == nullptr) return 0;
  engine::Handle handle = nextHandle_++;
  open_.insert(handle);
  return handle;
}

void Switcher::close(engine::Handle switcher) {
  std::lock_guard guard(lock_);
  log_.write("CloseSwitcher");
  open_.erase(switcher);
}

std::int32_t Switcher::setOutputControl(engine::Handle switcher, const char* name, engine::ControlType type,
                                        const std::int32_t* value) {
  return setControl("SetOutputControl", outputControls_, switcher, name, type, value);
}

std::int32_t Switcher::setInputControl(engine::Handle switcher, const char* name, engine::ControlType type,
                                       const std::int32_t* value) {
  return setControl("SetInputControl", inputControls_, switcher, name, type, value);
}

std::int32_t Switcher::setControl(std::string_view operation, Controls& controls, engine::Handle switcher,
                                  const char* name, engine::ControlType type, const std::int32_t* value) {
  std::lock_guard guard(lock_);
  std::string line(operation);
  line += ' ';
  line += logText(name);
  line += ' ' + std::to_string(static_cast<std::int32_t>(type)) + ' ';
  line += value == nullptr ? std::string("(null)") : std::to_string(*value);
  log_.write(line);
  if (!open_.contains(switcher) || name == nullptr || value == nullptr) return 0;
  controls.insert_or_assign(std::string(name), ControlSetting{type, *value});
  return 1;
}

std::int32_t Switcher::command(engine::Handle switcher, std::uint32_t command, const void*) {
  std::lock_guard guard(lock_);
  log_.write("SwitcherCommand " + hex(command));
  return open_.contains(switcher) ? 1 : 0;
}

std::uint32_t Switcher::currentFrameCount(engine::Handle switcher) {
  std::lock_guard guard(lock_);
  const std::uint32_t count = open_.contains(switcher) ? frameCount() : 0;
  countAsked_.store(true, std::memory_order_relaxed);
  log_.write("CurrentFrameCount " + std::to_string(count));  // the line shows the answer
  return count;
}

bool Switcher::isOpen(engine::Handle switcher) const {
  std::lock_guard guard(lock_);
  return open_.contains(switcher);
}

std::optional<ControlSetting> Switcher::outputControl(std::string_view name) const {
  std::lock_guard guard(lock_);
  auto found = outputControls_.find(name);
  return found == outputControls_.end() ? std::nullopt : std::optional(found->second);
}

std::optional<ControlSetting> Switcher::inputControl(std::string_view name) const {
  std::lock_guard guard(lock_);
  auto found = inputControls_.find(name);
  return found == inputControls_.end() ? std::nullopt : std::optional(found->second);
}

}  // namespace corvane::board
