// The preview's window: shows the latest picture, scaled to the window.
#pragma once

#include <memory>
#include <string>

#include "frame_picture.h"

namespace corvane::scry {

class ScreenWindow {
 public:
  // Null when no window can be opened (no display server reachable).
  static std::unique_ptr<ScreenWindow> open(const std::string& title);
  ~ScreenWindow();
  ScreenWindow(const ScreenWindow&) = delete;
  ScreenWindow& operator=(const ScreenWindow&) = delete;

  void show(const Picture& picture);
  // Handles the window's events, waiting at most waitMs for one. False once
  // the user has closed the window.
  bool pump(int waitMs);

 private:
  struct Parts;
  explicit ScreenWindow(std::unique_ptr<Parts> parts);
  void redraw();
  std::unique_ptr<Parts> parts_;
};

}  // namespace corvane::scry
