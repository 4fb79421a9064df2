#include "board/board_config.h"

#include <array>

namespace corvane::board {
namespace {

std::string_view trimmed(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n";
  std::size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  std::size_t last = text.find_last_not_of(kSpace);
  return text.substr(first, last - first + 1);
}

void readFlag(std::string_view key, std::string_view value, bool& flag, BoardConfig& config) {
  if (value == "1") {
    flag = true;
  } else if (value == "0") {
    flag = false;
  } else {
    config.problems.push_back(std::string(key) + " must be 0 or 1, not '" + std::string(value) + "'");
  }
}

void readPath(std::string_view key, std::string_view value, std::string& path, BoardConfig& config) {
  if (value.empty()) {
    config.problems.push_back(std::string(key) + " needs a path");
    return;
  }
  path = value;
}

struct Setting {
  std::string_view key;
  void (*apply)(std::string_view key, std::string_view value, BoardConfig& config);
};

// One row per key; later settings (output, input, faults) add theirs here.
constexpr std::array kSettings{
    Setting{"absent",
            [](std::string_view k, std::string_view v, BoardConfig& c) { readFlag(k, v, c.absent, c); }},
    Setting{"log",
            [](std::string_view k, std::string_view v, BoardConfig& c) { readPath(k, v, c.logPath, c); }},
};

void applyItem(std::string_view item, BoardConfig& config) {
  std::size_t equals = item.find('=');
  if (equals == std::string_view::npos) {
    config.problems.push_back("item '" + std::string(item) + "' has no '='");
    return;
  }
  std::string_view key = trimmed(item.substr(0, equals));
  std::string_view value = item.substr(equals + 1);
  for (const Setting& setting : kSettings) {
    if (setting.key == key) {
      setting.apply(key, value, config);
      return;
    }
  }
}

}  // namespace

BoardConfig parseBoardConfig(std::string_view text) {
  BoardConfig config;
  while (!text.empty()) {
    std::size_t comma = text.find(',');
    std::string_view item = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    if (trimmed(item).empty()) continue;
    applyItem(item, config);
  }
  return config;
}

}  // namespace corvane::board
