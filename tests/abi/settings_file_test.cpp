// The settings file as users and accidents leave it: something that is not a
// file at all, a file far too big, and the number of times a load and an
// unload rewrite it. Run through corvane-host, which loads and unloads the
// real plug-in.
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>

#include "abi/host_runner.h"

namespace corvane::abi {
namespace {

namespace fs = std::filesystem;

// Counts the times the settings file is replaced or written over while alive.
class RewriteCounter {
 public:
  explicit RewriteCounter(const fs::path& dir) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ >= 0) inotify_add_watch(fd_, dir.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE | IN_CREATE);
  }
  ~RewriteCounter() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool usable() const { return fd_ >= 0; }
  // Rewrites of name since the last call; the command has ended, so every
  // event is queued already.
  int rewritesOf(const std::string& name) {
    alignas(inotify_event) char buffer[64 * 1024];
    int count = 0;
    for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) > 0;) {
      for (char* at = buffer; at < buffer + n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        if (event->len > 0 && name == event->name && (event->mask & (IN_MOVED_TO | IN_CLOSE_WRITE))) ++count;
        at += sizeof(inotify_event) + event->len;
      }
    }
    return count;
  }

 private:
  int fd_;
};

using SettingsFile = HostTest;

constexpr const char* kCompleteKeys =
    "VideoMode=1\nForceNoFrameDrop=1\nStopRecordingWhenFramesAreDropped=0\nRefresh Rate Warning=1\n"
    "Output=0\nPedestal=1\nOutputFilter=2\nSCPhase=0\nInput=0\nVeltrixScryOut=0\nVeltrixScryIn=0\n";

std::string colourKeys() {
  std::string keys;
  for (const char* control :
       {"Contrast", "Brightness", "Saturation", "Hue", "UGain", "VGain", "UOffset", "VOffset", "AGC", "HYPK"})
    for (const char* source : {"Composite", "YC", "Component", "SDI"})
      keys += std::string(control) + "_" + source + "=0\n";
  return keys;
}

TEST_F(SettingsFile, OddFilesAreLeftAloneAndEachLoadOrUnloadRewritesItOnceAtMost) {
  const fs::path ini = box_.iniPath();
  const std::string huge = "; " + std::string(10 << 20, 'x') + "\n[VideoCorvane Configuration]\nOutput=1\n";
  const std::string complete = "[VideoCorvane Configuration]\n" + std::string(kCompleteKeys) + colourKeys();
  struct Case {
    const char* name;
    std::function<void()> make;
    const char* command;
    const char* script;   // for the dialog commands
    const char* warning;  // in the one line on stderr; null: stderr stays empty
    int rewrites;
    std::function<bool()> fileAfter;  // what the file or the thing in its place is afterwards
  };
  const auto holds = [&](std::initializer_list<const char*> lines) {
    const std::string text = box_.readFile(ini);
    return std::all_of(lines.begin(), lines.end(), [&](const char* line) {
      return text.find(std::string("\n") + line + "\n") != std::string::npos;
    });
  };
  const Case cases[] = {
      {"a named pipe", [&] { ASSERT_EQ(::mkfifo(ini.c_str(), 0644), 0); }, "descriptors", nullptr,
       "is not a regular file: the defaults are used", 0, [&] { return fs::is_fifo(ini); }},
      {"a link to /dev/zero", [&] { fs::create_symlink("/dev/zero", ini); }, "descriptors", nullptr,
       "is not a regular file: the defaults are used", 0,
       [&] {
         // Nothing made beside the link's target either.
         return fs::is_symlink(ini) && fs::read_symlink(ini) == "/dev/zero" && !fs::exists("/dev/.zero.lock");
       }},
      {"a folder", [&] { fs::create_directory(ini); }, "descriptors", nullptr,
       "is not a regular file: the defaults are used", 0,
       [&] { return fs::is_directory(ini) && fs::is_empty(ini); }},
      {"a 10 MB line", [&] { box_.writeFile(ini, huge); }, "descriptors", nullptr,
       "is larger than 1 MB: the defaults are used", 0, [&] { return box_.readFile(ini) == huge; }},
      // The load writes back every missing key: one rewrite for all of them.
      {"a file with one key", [&] { box_.writeFile(ini, "[VideoCorvane Configuration]\nOutput=1\n"); },
       "descriptors", nullptr, nullptr, 1,
       [&] {
         return holds({"Output=1", "HYPK_SDI=2", "VideoMode=1"});
       }},
      {"every key present", [&] { box_.writeFile(ini, complete); }, "descriptors", nullptr, nullptr, 0,
       [&] { return box_.readFile(ini) == complete; }},
      // Three values changed in the dialog: one rewrite at unload.
      {"three changes to save", [&] { box_.writeFile(ini, complete); }, "output-settings",
       "dialog 102\nclick 1013\nclick 1019\nset 1017 -12.9\n", nullptr, 1,
       [&] {
         return holds({"Output=1", "OutputFilter=1", "SCPhase=-12"});
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(ini);
    c.make();
    RewriteCounter counter(box_.configDir());
    ASSERT_TRUE(counter.usable());
    std::string dialogs;
    if (c.script != nullptr) {
      box_.writeFile(at("dialogs.txt"), c.script);
      dialogs = "CORVANE_DIALOGS='script:" + at("dialogs.txt") + "' ";
    }
    // A load that blocks on the file is ended by the deadline: status 124.
    const HostRun run = shell(dialogs + "timeout 30 '" CORVANE_HOST_PATH "' " + c.command);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    if (c.warning == nullptr) {
      EXPECT_EQ(run.err, "");
    } else {
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
      EXPECT_NE(run.err.find(c.warning), std::string::npos) << run.err;
    }
    EXPECT_EQ(counter.rewritesOf(ini.filename()), c.rewrites);
    EXPECT_TRUE(c.fileAfter());
  }
}

}  // namespace
}  // namespace corvane::abi
