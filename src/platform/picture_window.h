// A window that shows one picture scaled to its size: the preview programs'
// screen. Its backends live in platform/<backend>/picture/, outside the
// platform library, so the plug-in never links a windowing library.
#pragma once

#include <memory>
#include <string>

#include "platform/picture_view.h"

namespace corvane::platform {

class PictureWindow {
 public:
  // Null when there is no display to open a window on.
  static std::unique_ptr<PictureWindow> open(const std::string& title);
  ~PictureWindow();
  PictureWindow(const PictureWindow&) = delete;
  PictureWindow& operator=(const PictureWindow&) = delete;

  // Shows a copy of picture; the window takes its size.
  void show(const PictureView& picture);
  // Handles the window's events, waiting at most waitMs for one. False once
  // the window has been asked to close (by the user, or by the program that
  // started this one).
  bool pump(int waitMs);

 private:
  struct Parts;
  explicit PictureWindow(std::unique_ptr<Parts> parts);
  std::unique_ptr<Parts> parts_;
};

}  // namespace corvane::platform
