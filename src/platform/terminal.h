// The controlling terminal, for a dialog drawn in it. While a Terminal exists
// the terminal is in raw mode on its alternate screen with the cursor hidden;
// it is put back as it was when the object goes, and also when a signal ends
// or stops the process meanwhile (interrupt, quit, hang-up, termination,
// suspend: a suspended dialog takes the terminal again when continued).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace corvane::platform {

class Terminal {
 public:
  // nullptr when the process has no terminal or one is already in use here.
  // The Windows backend draws no dialog in a console: always nullptr there.
  static std::unique_ptr<Terminal> open();
  ~Terminal();
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  // The next byte typed, or nothing when none came within timeoutMs (or a
  // signal interrupted the wait).
  std::optional<std::uint8_t> readByte(int timeoutMs);
  void write(std::string_view text);
  // Columns and rows; 80 x 24 when the terminal does not say.
  std::uint16_t columns() const;
  std::uint16_t rows() const;
  // True once after the screen was resized or given back after a suspend.
  bool takeRedrawRequest();

 private:
  // The session lives in the backend: one terminal per process.
  Terminal() = default;
};

}  // namespace corvane::platform
