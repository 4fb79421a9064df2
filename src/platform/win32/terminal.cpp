#include "platform/terminal.h"

namespace corvane::platform {

// Dialogs on Windows are the system's own windows; no console front end is
// offered, so a request for one always finds "no terminal".
std::unique_ptr<Terminal> Terminal::open() { return nullptr; }

Terminal::~Terminal() = default;

std::optional<std::uint8_t> Terminal::readByte(int) { return std::nullopt; }

void Terminal::write(std::string_view) {}

std::uint16_t Terminal::columns() const { return 80; }

std::uint16_t Terminal::rows() const { return 24; }

bool Terminal::takeRedrawRequest() { return false; }

}  // namespace corvane::platform
