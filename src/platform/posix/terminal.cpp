#include "platform/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstring>

#include "platform/posix/unique_fd.h"

namespace corvane::platform {
namespace {

constexpr char kEnterScreen[] = "\x1b[?1049h\x1b[?25l";
constexpr char kLeaveScreen[] = "\x1b[?25h\x1b[?1049l";

// One terminal session per process, reachable from signal handlers: only
// async-signal-safe calls touch it there.
struct Session {
  int fd = -1;
  termios saved{};
  termios raw{};
};
Session session;
std::atomic<bool> active{false};
std::atomic<bool> redraw{false};  // relaxed: a hint to draw again, nothing more

constexpr std::array kEndingSignals = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};
std::array<struct sigaction, kEndingSignals.size()> previousEnding{};
struct sigaction previousStop {};
struct sigaction previousContinue {};
struct sigaction previousResize {};

void writeRaw(int fd, const char* text, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, text, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text += n;
    size -= static_cast<std::size_t>(n);
  }
}

void giveBack() {
  ::tcsetattr(session.fd, TCSAFLUSH, &session.saved);
  writeRaw(session.fd, kLeaveScreen, sizeof kLeaveScreen - 1);
}

void takeAgain() {
  ::tcsetattr(session.fd, TCSAFLUSH, &session.raw);
  writeRaw(session.fd, kEnterScreen, sizeof kEnterScreen - 1);
  redraw.store(true, std::memory_order_relaxed);
}

bool isDefault(const struct sigaction& action) {
  return (action.sa_flags & SA_SIGINFO) == 0 && action.sa_handler == SIG_DFL;
}

void onEndingSignal(int signal, siginfo_t* info, void* context) {
  const int saved = errno;
  if (!active.load(std::memory_order_relaxed)) return;
  std::size_t slot = 0;
  while (slot < kEndingSignals.size() && kEndingSignals[slot] != signal) ++slot;
  const struct sigaction& previous = previousEnding[slot];
  giveBack();
  if (isDefault(previous)) {
    // Delivered again when this handler returns, now with the default action.
    ::sigaction(signal, &previous, nullptr);
    ::raise(signal);
  } else {
    // The host's own handler decides; if the process lives on, so does the dialog.
    if ((previous.sa_flags & SA_SIGINFO) != 0) {
      previous.sa_sigaction(signal, info, context);
    } else {
      previous.sa_handler(signal);
    }
    takeAgain();
  }
  errno = saved;
}

void onStop(int) {
  const int saved = errno;
  giveBack();
  struct sigaction stop {};
  stop.sa_handler = SIG_DFL;
  ::sigaction(SIGTSTP, &stop, nullptr);
  ::raise(SIGTSTP);  // pending until this handler returns
  errno = saved;
}

void installStop();

void onContinue(int) {
  const int saved = errno;
  if (active.load(std::memory_order_relaxed)) {
    installStop();
    takeAgain();
  }
  errno = saved;
}

void onResize(int) { redraw.store(true, std::memory_order_relaxed); }

void installStop() {
  struct sigaction action {};
  action.sa_handler = onStop;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGTSTP, &action, nullptr);
}

void installHandlers() {
  for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
    ::sigaction(kEndingSignals[i], nullptr, &previousEnding[i]);
    // An ignored signal stays ignored: it cannot end the dialog.
    if ((previousEnding[i].sa_flags & SA_SIGINFO) == 0 && previousEnding[i].sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_sigaction = onEndingSignal;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    ::sigaction(kEndingSignals[i], &action, nullptr);
  }
  ::sigaction(SIGTSTP, nullptr, &previousStop);
  installStop();
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = onContinue;
  ::sigaction(SIGCONT, &action, &previousContinue);
  action.sa_handler = onResize;
  ::sigaction(SIGWINCH, &action, &previousResize);
}

void removeHandlers() {
  for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
    struct sigaction current {};
    ::sigaction(kEndingSignals[i], nullptr, &current);
    if ((current.sa_flags & SA_SIGINFO) != 0 && current.sa_sigaction == onEndingSignal) {
      ::sigaction(kEndingSignals[i], &previousEnding[i], nullptr);
    }
  }
  ::sigaction(SIGTSTP, &previousStop, nullptr);
  ::sigaction(SIGCONT, &previousContinue, nullptr);
  ::sigaction(SIGWINCH, &previousResize, nullptr);
}

}  // namespace

std::unique_ptr<Terminal> Terminal::open() {
  if (active.load(std::memory_order_relaxed)) return nullptr;
  posix::UniqueFd fd(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!fd.valid() || ::isatty(fd.get()) == 0) return nullptr;
  termios saved{};
  if (::tcgetattr(fd.get(), &saved) != 0) return nullptr;
  termios raw = saved;
  // Keys one by one, unechoed; Ctrl-C and friends still raise their signals.
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
  raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  session.fd = fd.get();
  session.saved = saved;
  session.raw = raw;
  installHandlers();
  active.store(true, std::memory_order_relaxed);
  redraw.store(false, std::memory_order_relaxed);
  if (::tcsetattr(fd.get(), TCSAFLUSH, &raw) != 0) {
    active.store(false, std::memory_order_relaxed);
    removeHandlers();
    session.fd = -1;
    return nullptr;
  }
  writeRaw(fd.get(), kEnterScreen, sizeof kEnterScreen - 1);
  (void)fd.release();  // the session owns it now
  return std::unique_ptr<Terminal>(new Terminal());
}

Terminal::~Terminal() {
  giveBack();
  active.store(false, std::memory_order_relaxed);
  removeHandlers();
  ::close(session.fd);
  session.fd = -1;
}

std::optional<std::uint8_t> Terminal::readByte(int timeoutMs) {
  pollfd ready{session.fd, POLLIN, 0};
  if (::poll(&ready, 1, timeoutMs) <= 0) return std::nullopt;
  std::uint8_t byte = 0;
  if (::read(session.fd, &byte, 1) != 1) return std::nullopt;
  return byte;
}

void Terminal::write(std::string_view text) { writeRaw(session.fd, text.data(), text.size()); }

std::uint16_t Terminal::columns() const {
  winsize size{};
  return ::ioctl(session.fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

std::uint16_t Terminal::rows() const {
  winsize size{};
  return ::ioctl(session.fd, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 ? size.ws_row : 24;
}

bool Terminal::takeRedrawRequest() { return redraw.exchange(false, std::memory_order_relaxed); }

}  // namespace corvane::platform
