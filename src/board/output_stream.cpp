#include "board/output_stream.h"

#include <string>

namespace corvane::board {

engine::Handle OutputStream::open(const char* name, std::int32_t is625) {
  log_.write("OpenOutputStream " + std::string(logText(name)) + " " + std::to_string(is625));
  return 0;
}

engine::Handle OutputStream::acquireFrame(engine::Handle, void** data, std::uint32_t* cookie) {
  log_.write("AcquireOutputFrame 0");  // the token answered: none is free yet
  if (data != nullptr) *data = nullptr;
  if (cookie != nullptr) *cookie = 0;
  return 0;
}

void OutputStream::submitFrame(engine::Handle, engine::Handle token, std::uint32_t) {
  log_.write("SubmitOutputFrame " + std::to_string(token));
}

void OutputStream::close(engine::Handle) { log_.write("CloseOutputStream"); }

}  // namespace corvane::board
