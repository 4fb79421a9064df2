#include <mutex>

#include "engine/toolkit.h"

namespace corvane::tk {

struct vBlock::State {
  std::recursive_mutex mutex;  // re-entrant, as the native critical section
};

vBlock::vBlock() : state_(std::make_unique<State>()) {}

vBlock::~vBlock() = default;

void vBlock::enter() { state_->mutex.lock(); }

void vBlock::leave() { state_->mutex.unlock(); }

}  // namespace corvane::tk
