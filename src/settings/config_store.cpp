#include "settings/config_store.h"

#include <cstdint>
#include <limits>
#include <string>

#include "platform/profile.h"

namespace corvane::settings {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string configPath() { return platform::profilePath(kConfigFileName); }

}  // namespace

std::optional<std::int32_t> parseConfigInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    if (magnitude <= kLimit) magnitude = magnitude * 10 + (text[i] - '0');
  std::int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<std::int32_t>::max()) value = std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min()) value = std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

std::int32_t ReadConfigInt(std::string_view key, std::int32_t defaultValue, std::string_view section) {
  const std::string path = configPath();
  if (const auto text = platform::readProfileValue(path, section, key)) {
    if (const auto value = parseConfigInt(*text)) return *value;
  }
  WriteConfigInt(key, defaultValue, section);
  return defaultValue;
}

void WriteConfigInt(std::string_view key, std::int32_t value, std::string_view section) {
  platform::writeProfileValue(configPath(), section, key, std::to_string(value));
}

}  // namespace corvane::settings
