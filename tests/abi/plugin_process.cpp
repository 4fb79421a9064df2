#include "abi/plugin_process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "host/plugin_loader.h"
#include "support/system.h"
#include "support/temp_dir.h"

namespace corvane::abi {
namespace {

// A child that runs the test again from its start (where the system cannot
// fork) takes over the parent's sandbox instead of making its own, and is
// told the outcomes of the children before it.
constexpr const char* kAdoptedSandbox = "CORVANE_ABI_SANDBOX";
constexpr const char* kEarlierOutcomes = "CORVANE_ABI_OUTCOMES";

const Sandbox* latestSandbox = nullptr;

// The outcomes of the current test's children so far.
std::vector<ChildOutcome>& outcomesOfThisTest() {
  static std::string test;
  static std::vector<ChildOutcome> outcomes;
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string current =
      info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "";
  if (current != test) {
    test = current;
    outcomes.clear();
  }
  return outcomes;
}

std::string encode(const std::vector<ChildOutcome>& outcomes) {
  std::string text;
  for (const ChildOutcome& o : outcomes)
    text +=
        std::to_string(o.exited) + " " + std::to_string(o.exitCode) + " " + std::to_string(o.signal) + " ";
  return text;
}

ChildOutcome earlierOutcome(std::size_t index) {
  std::istringstream in(testing::environmentValue(kEarlierOutcomes).value_or(""));
  ChildOutcome outcome;
  for (std::size_t i = 0; i <= index; ++i) {
    int exited = 0;
    if (!(in >> exited >> outcome.exitCode >> outcome.signal)) return ChildOutcome{};
    outcome.exited = exited != 0;
  }
  return outcome;
}

// Passes on what the child wrote to stderr, whatever it was.
class EchoedStderr : public ::testing::MatcherInterface<const std::string&> {
 public:
  bool MatchAndExplain(const std::string& text, ::testing::MatchResultListener*) const override {
    std::fputs(text.c_str(), stderr);
    return true;
  }
  void DescribeTo(std::ostream* os) const override { *os << "any output"; }
};

// The child's side: it never returns. Failures of the test's own checks
// before this point belong to the parent's run of them, not to body.
[[noreturn]] void childMain(const std::map<std::string, std::string>& env, const std::function<int()>& body) {
  for (const auto& [key, value] : env) testing::setEnvironmentValue(key, value);
  int code = 99;
  try {
    code = body();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "child: %s\n", e.what());
    code = 98;
  }
  std::fflush(nullptr);
  // exit, not _exit: a plug-in that is still loaded must see a normal exit.
  std::exit(code);
}

}  // namespace

Sandbox::Sandbox() {
  if (const auto adopted = testing::environmentValue(kAdoptedSandbox); adopted && !adopted->empty()) {
    dir_ = *adopted;
    owned_ = false;
  } else {
    dir_ = testing::makeTempDirectory("corvane-abi-");
    if (dir_.empty()) throw std::runtime_error("no temporary directory");
  }
  std::filesystem::create_directories(configDir());
  latestSandbox = this;
}

Sandbox::~Sandbox() {
  if (latestSandbox == this) latestSandbox = nullptr;
  if (!owned_) return;
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::map<std::string, std::string> Sandbox::environment(
    const std::map<std::string, std::string>& extra) const {
  std::map<std::string, std::string> env{
      {"CORVANE_CONFIG_DIR", configDir().string()},
      {"CORVANE_MESSAGE_LOG", messageLog().string()},
      {"CORVANE_BOARD", "log=" + boardLog().string()},
      {"CORVANE_DIALOGS", "none"},
      {"CORVANE_REFRESH_HZ", "0"},
      {"CORVANE_REALTIME", "0"},
  };
  for (const auto& [key, value] : extra) env[key] = value;
  return env;
}

std::string Sandbox::readFile(const std::filesystem::path& path) const {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<std::string> Sandbox::readLines(const std::filesystem::path& path) const {
  std::vector<std::string> lines;
  std::istringstream in(readFile(path));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

void Sandbox::writeFile(const std::filesystem::path& path, const std::string& content) const {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

// The child is GoogleTest's death-test child: a fork where there is one, and
// elsewhere this program started again on the current test.
ChildOutcome runInChild(const std::map<std::string, std::string>& env, const std::function<int()>& body) {
  std::vector<ChildOutcome>& outcomes = outcomesOfThisTest();
  const std::size_t index = outcomes.size();
  const testing::ScopedEnvironment sandbox(kAdoptedSandbox, latestSandbox != nullptr
                                                                ? std::optional(latestSandbox->dir().string())
                                                                : std::nullopt);
  const testing::ScopedEnvironment earlier(kEarlierOutcomes, encode(outcomes));
  std::fflush(nullptr);
  bool ended = false;
  int status = 0;
  const auto observe = [&](int s) {
    ended = true;
    status = s;
    return true;
  };
  EXPECT_EXIT(childMain(env, body), observe, ::testing::MakeMatcher(new EchoedStderr));
  ChildOutcome outcome;
  if (ended) {
    const testing::ChildEnd end = testing::decodeChildStatus(status);
    outcome.exited = end.exited;
    outcome.exitCode = end.exitCode;
    outcome.signal = end.signal;
  } else {
    // A child run again from the start passes over the calls before its own.
    outcome = earlierOutcome(index);
  }
  outcomes.push_back(outcome);
  return outcome;
}

ChildOutcome runWithPlugin(const std::map<std::string, std::string>& env,
                           const std::function<int(const host::AvfileApi&)>& body) {
  return runInChild(env, [&] {
    host::LoadedPlugin plugin(CORVANE_PLUGIN_PATH);
    const int code = body(plugin.api());
    plugin.unload();
    return code;
  });
}

}  // namespace corvane::abi
