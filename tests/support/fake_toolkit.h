// Toolkit services for tests: installed for the fake's lifetime. Thread bodies
// run at once on the caller's thread, posted messages are delivered only when
// the test says, modal dialogs are handed to onDialog (none: closed unopened).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/dialog.h"
#include "engine/toolkit.h"

namespace corvane::testing {

class FakeToolkit : public tk::ToolkitServices {
 public:
  struct Post {
    tk::HWND target;
    std::int32_t message;
    tk::ToolkitUI* sender;
  };

  FakeToolkit() : previous_(tk::installToolkitServices(this)) {}
  ~FakeToolkit() override { tk::installToolkitServices(previous_); }
  FakeToolkit(const FakeToolkit&) = delete;
  FakeToolkit& operator=(const FakeToolkit&) = delete;

  std::vector<Post> posts;
  std::function<std::int32_t(const tk::DialogTemplate&, tk::DialogProcedure&)> onDialog;

  bool startThread(platform::Thread&, std::string_view, tk::ThreadPriority,
                   std::function<void()> body) override {
    body();
    return true;
  }
  void postMessage(tk::HWND target, std::int32_t message, tk::ToolkitUI* sender) override {
    posts.push_back(Post{target, message, sender});
  }
  // Delivers the recorded posts straight to their targets.
  void dispatchPostedMessages() override {
    std::vector<Post> batch;
    batch.swap(posts);
    for (const Post& p : batch) p.target->onToolkitMessage(p.message, p.sender);
  }
  std::int32_t runModalDialog(const tk::DialogTemplate& dialog, tk::DialogProcedure& procedure) override {
    return onDialog ? onDialog(dialog, procedure) : tk::kCommandCancel;
  }

 private:
  tk::ToolkitServices* previous_;
};

}  // namespace corvane::testing
