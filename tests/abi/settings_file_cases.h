// The settings file as users and accidents leave it, each case run through
// corvane-host, which loads and unloads the real plug-in: what it says, how
// often the load and the unload rewrite the file, and what is left in its
// place.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "abi/host_runner.h"
#include "support/rewrite_counter.h"

namespace corvane::abi {

struct SettingsFileCase {
  const char* name;
  std::function<void()> make;
  const char* command;
  const char* script;   // for the dialog commands
  const char* warning;  // in the one line on stderr; null: stderr stays empty
  int rewrites;
  std::function<bool()> fileAfter;  // what the file or the thing in its place is afterwards
};

class SettingsFile : public HostTest {
 protected:
  void check(const SettingsFileCase& c) {
    SCOPED_TRACE(c.name);
    const std::filesystem::path ini = box_.iniPath();
    std::filesystem::remove_all(ini);
    c.make();
    testing::RewriteCounter counter(box_.configDir());
    std::map<std::string, std::string> extra;
    if (c.script != nullptr) {
      box_.writeFile(at("dialogs.txt"), c.script);
      extra["CORVANE_DIALOGS"] = "script:" + at("dialogs.txt");
    }
    const HostRun run = host(c.command, "", extra);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    if (c.warning == nullptr) {
      EXPECT_EQ(run.err, "");
    } else {
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
      EXPECT_NE(run.err.find(c.warning), std::string::npos) << run.err;
    }
    if (const auto rewrites = counter.rewritesOf(ini.filename().string())) {
      EXPECT_EQ(*rewrites, c.rewrites);
    }
    EXPECT_TRUE(c.fileAfter());
  }
};

}  // namespace corvane::abi
