#include "board/board_config.h"

#include <array>
#include <charconv>
#include <numeric>
#include <optional>

namespace corvane::board {
namespace {

// Beyond this, input_rate=fast is the setting to use; it also keeps the field
// clock's exact arithmetic within 64 bits.
constexpr std::uint64_t kMaxFieldsPerSecond = 100000;
constexpr std::size_t kMaxRateDecimals = 3;
// Each output frame holds a whole frame in memory.
constexpr std::uint32_t kMaxOutputFrames = 1000;
constexpr std::uint32_t kMaxCount = 0xffffffff;

std::string_view trimmed(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n";
  std::size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  std::size_t last = text.find_last_not_of(kSpace);
  return text.substr(first, last - first + 1);
}

void reject(BoardConfig& config, std::string_view key, std::string_view expected, std::string_view value) {
  config.problems.push_back(std::string(key) + " must be " + std::string(expected) + ", not '" +
                            std::string(value) + "'");
}

// Plain decimal digits only: no sign, no spaces, nothing after.
std::optional<std::uint64_t> digits(std::string_view text) {
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc{} || stop != end) return std::nullopt;
  return value;
}

void readFlag(std::string_view key, std::string_view value, bool& flag, BoardConfig& config) {
  if (value == "1") {
    flag = true;
  } else if (value == "0") {
    flag = false;
  } else {
    reject(config, key, "0 or 1", value);
  }
}

void readPath(std::string_view key, std::string_view value, std::string& path, BoardConfig& config) {
  if (value.empty()) {
    config.problems.push_back(std::string(key) + " needs a path");
    return;
  }
  path = value;
}

std::optional<std::uint32_t> readCount(std::string_view key, std::string_view value, std::uint32_t least,
                                       std::uint32_t most, BoardConfig& config) {
  std::optional<std::uint64_t> number = digits(value);
  if (number && *number >= least && *number <= most) return static_cast<std::uint32_t>(*number);
  reject(config, key, "a whole number from " + std::to_string(least) + " to " + std::to_string(most), value);
  return std::nullopt;
}

// "59.94" is 2997/50 fields a second, exactly.
std::optional<FieldRate> decimalRate(std::string_view text) {
  const std::size_t point = text.find('.');
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
  if (point != std::string_view::npos && (fraction.empty() || fraction.size() > kMaxRateDecimals)) {
    return std::nullopt;
  }
  std::optional<std::uint64_t> whole = digits(text.substr(0, point));
  std::optional<std::uint64_t> part = fraction.empty() ? std::optional<std::uint64_t>(0) : digits(fraction);
  if (!whole || !part || *whole > kMaxFieldsPerSecond) return std::nullopt;
  std::uint64_t denominator = 1;
  for (std::size_t i = 0; i < fraction.size(); ++i) denominator *= 10;
  const std::uint64_t numerator = *whole * denominator + *part;
  if (numerator == 0 || numerator > kMaxFieldsPerSecond * denominator) return std::nullopt;
  const std::uint64_t common = std::gcd(numerator, denominator);
  return FieldRate{numerator / common, denominator / common};
}

void readInput(std::string_view value, BoardConfig& config) {
  if (value.empty()) {
    config.problems.push_back("input needs pattern, loopback or a path");
  } else if (value == "pattern") {
    config.input = InputSource::Pattern;
  } else if (value == "loopback") {
    config.input = InputSource::Loopback;
  } else {
    config.input = InputSource::File;
    config.inputPath = value;
  }
}

void readRate(std::string_view value, BoardConfig& config) {
  if (value == "field") {
    config.inputRate = InputRate{};
  } else if (value == "fast") {
    config.inputRate = InputRate{InputRate::Pace::Fast, {}};
  } else if (std::optional<FieldRate> rate = decimalRate(value)) {
    config.inputRate = InputRate{InputRate::Pace::Fixed, *rate};
  } else {
    reject(config, "input_rate",
           "field, fast or fields a second above 0 and up to " + std::to_string(kMaxFieldsPerSecond) +
               " with at most " + std::to_string(kMaxRateDecimals) + " decimals",
           value);
  }
}

void readStandard(std::string_view value, BoardConfig& config) {
  if (value == "ntsc") {
    config.faults.inputStandard = VideoStandard::Ntsc;
  } else if (value == "pal") {
    config.faults.inputStandard = VideoStandard::Pal;
  } else {
    reject(config, "input_standard", "ntsc or pal", value);
  }
}

// A POSIX shared-memory name: one leading '/' at most, none after.
void readMonitor(std::string_view value, BoardConfig& config) {
  const std::string_view name = value.starts_with('/') ? value.substr(1) : value;
  if (name.empty() || name.find('/') != std::string_view::npos) {
    reject(config, "monitor", "a shared-memory name (no '/' but a leading one)", value);
    return;
  }
  config.monitor = value;
}

struct Setting {
  std::string_view key;
  void (*apply)(std::string_view key, std::string_view value, BoardConfig& config);
};

using Key = std::string_view;
using Value = std::string_view;
using Config = BoardConfig;

constexpr std::array kSettings{
    Setting{"log", [](Key k, Value v, Config& c) { readPath(k, v, c.logPath, c); }},

    Setting{"output", [](Key k, Value v, Config& c) { readPath(k, v, c.outputPath, c); }},
    Setting{"shown", [](Key k, Value v, Config& c) { readPath(k, v, c.shownPath, c); }},
    Setting{"output_frames",
            [](Key k, Value v, Config& c) {
              c.outputFrames = readCount(k, v, 1, kMaxOutputFrames, c).value_or(c.outputFrames);
            }},

    Setting{"input", [](Key, Value v, Config& c) { readInput(v, c); }},
    Setting{"input_rate", [](Key, Value v, Config& c) { readRate(v, c); }},
    Setting{"first_count",
            [](Key k, Value v, Config& c) {
              c.firstCount = readCount(k, v, 0, kMaxCount, c).value_or(c.firstCount);
            }},
    Setting{"monitor", [](Key, Value v, Config& c) { readMonitor(v, c); }},

    // The faults, all of them.
    Setting{"absent", [](Key k, Value v, Config& c) { readFlag(k, v, c.faults.absent, c); }},
    Setting{"refuse_output", [](Key k, Value v, Config& c) { readFlag(k, v, c.faults.refuseOutput, c); }},
    Setting{"input_frames",
            [](Key k, Value v, Config& c) {
              if (auto n = readCount(k, v, 0, kMaxCount, c)) c.faults.inputFrames = n;
            }},
    Setting{"missing_field",
            [](Key k, Value v, Config& c) {
              if (auto n = readCount(k, v, 1, kMaxCount, c)) c.faults.missingField = n;
            }},
    Setting{"input_standard", [](Key, Value v, Config& c) { readStandard(v, c); }},
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
  // A misspelt key would otherwise leave the user wondering why it did nothing.
  std::string known;
  for (const Setting& setting : kSettings) known += (known.empty() ? "" : ", ") + std::string(setting.key);
  config.problems.push_back("'" + std::string(key) + "' is not a setting (the settings are " + known + ")");
}

}  // namespace

std::string monitorNamePrefix(std::uint32_t userId) {
  return "corvane-monitor-" + std::to_string(userId) + "-";
}

std::string defaultMonitorName(std::uint32_t userId, std::int32_t processId) {
  return monitorNamePrefix(userId) + std::to_string(processId);
}

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
