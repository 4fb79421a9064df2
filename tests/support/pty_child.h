// A child process on a pseudo-terminal: the test types keys into it and reads
// what it draws, as a user at a terminal would. The child runs body with env
// applied and exits with its result (exit, not _exit, so a loaded plug-in
// sees a normal exit).
#pragma once

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

namespace corvane::testing {

class PtyChild {
 public:
  PtyChild(const std::map<std::string, std::string>& env, const std::function<int()>& body) {
    std::fflush(nullptr);
    winsize size{};
    size.ws_col = 100;
    size.ws_row = 40;
    pid_ = forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ < 0) throw std::runtime_error("forkpty failed");
    if (pid_ == 0) {
      for (const auto& [key, value] : env) setenv(key.c_str(), value.c_str(), 1);
      int code = 99;
      try {
        code = body();
      } catch (...) {
        code = 98;
      }
      std::fflush(nullptr);
      std::exit(code);
    }
  }
  ~PtyChild() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }
  PtyChild(const PtyChild&) = delete;
  PtyChild& operator=(const PtyChild&) = delete;

  void type(std::string_view keys) {
    if (write(master_, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size())) {
      throw std::runtime_error("cannot type into the terminal");
    }
  }

  // Reads until the output not yet taken holds needle (true), or until the
  // child closes the terminal or a generous limit passes (false). The limit
  // only keeps a broken child from hanging the suite.
  bool waitFor(std::string_view needle) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (fresh_.find(needle) == std::string::npos) {
      if (std::chrono::steady_clock::now() > limit || !readSome(200)) return false;
    }
    return true;
  }
  // The output read since the last take.
  std::string takeOutput() { return std::exchange(fresh_, std::string()); }
  const std::string& allOutput() const { return all_; }

  // The terminal's modes as the child left them (the master sees the slave's).
  termios modes() const {
    termios t{};
    tcgetattr(master_, &t);
    return t;
  }

  void signal(int number) { kill(pid_, number); }

  // Waits for the end; the raw wait status. Reads on meanwhile, so a child
  // that draws while ending never blocks on a full terminal.
  int wait() {
    int status = 0;
    for (;;) {
      const pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done == pid_) break;
      readSome(50);
    }
    while (readSome(0)) {
    }
    reaped_ = true;
    return status;
  }

 private:
  bool readSome(int timeoutMs) {
    pollfd ready{master_, POLLIN, 0};
    if (poll(&ready, 1, timeoutMs) <= 0) return timeoutMs > 0;
    char buffer[4096];
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n <= 0) return false;  // the child closed the terminal
    fresh_.append(buffer, static_cast<std::size_t>(n));
    all_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int master_ = -1;
  bool reaped_ = false;
  std::string fresh_;
  std::string all_;
};

}  // namespace corvane::testing
