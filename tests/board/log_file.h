// A fresh directory per test for the board's call log, and a reader of its lines.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace corvane::board::testing {

class LogDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    dir_ = std::filesystem::temp_directory_path() / ("corvane-board-" + std::to_string(random()));
    std::filesystem::create_directories(dir_);
    logPath_ = (dir_ / "calls.log").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::vector<std::string> logLines() const {
    std::ifstream in(logPath_, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  std::filesystem::path dir_;
  std::string logPath_;
};

}  // namespace corvane::board::testing
