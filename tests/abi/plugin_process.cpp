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
// fork) takes over the parent's sandboxes, in the order the test made them,
// instead of making its own, and is told the outcomes of the children before
// it. So the parent keeps each sandbox of a test until the next test starts.
constexpr const char* kAdoptedSandboxes = "CORVANE_ABI_SANDBOXES";
constexpr const char* kEarlierOutcomes = "CORVANE_ABI_OUTCOMES";

std::string currentTest() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "";
}

// What this process knows of the current test's children and sandboxes.
struct TestRecord {
  std::string test;
  std::vector<ChildOutcome> outcomes;
  std::vector<std::string> sandboxes;         // in the order the test made them
  std::size_t adopted = 0;                    // in a child: sandboxes taken over so far
  std::vector<std::filesystem::path> doomed;  // this process's, to remove
  int owner = testing::currentProcessId();

  void removeDoomed() {
    if (owner != testing::currentProcessId()) return;  // a forked child's copy
    std::error_code ignored;
    for (const auto& dir : doomed) std::filesystem::remove_all(dir, ignored);
    doomed.clear();
  }
  ~TestRecord() { removeDoomed(); }
};

TestRecord& record() {
  static TestRecord record;
  if (const std::string test = currentTest(); test != record.test) {
    record.removeDoomed();
    record = TestRecord{};
    record.test = test;
  }
  return record;
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
  TestRecord& test = record();
  // Only a child run again from the start; a forked one has the parent's.
  const bool rerun = !GTEST_FLAG_GET(internal_run_death_test).empty();
  std::istringstream adopted(rerun ? testing::environmentValue(kAdoptedSandboxes).value_or("") : "");
  std::string line;
  for (std::size_t i = 0; i <= test.adopted; ++i)
    if (!std::getline(adopted, line)) line.clear();
  if (!line.empty()) {
    ++test.adopted;
    dir_ = line;
  } else {
    dir_ = testing::makeTempDirectory("corvane-abi-");
    if (dir_.empty()) throw std::runtime_error("no temporary directory");
    owned_ = true;
  }
  test.sandboxes.push_back(dir_.string());
  std::filesystem::create_directories(configDir());
}

Sandbox::~Sandbox() {
  if (owned_) record().doomed.push_back(dir_);
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
  TestRecord& test = record();
  const std::size_t index = test.outcomes.size();
  std::string sandboxes;
  for (const std::string& dir : test.sandboxes) sandboxes += dir + "\n";
  const testing::ScopedEnvironment adopted(kAdoptedSandboxes, sandboxes);
  const testing::ScopedEnvironment earlier(kEarlierOutcomes, encode(test.outcomes));
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
  test.outcomes.push_back(outcome);
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
