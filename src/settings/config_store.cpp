#include "settings/config_store.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <mutex>
#include <new>
#include <string>

#include "platform/profile.h"

namespace corvane::settings {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string configPath() { return platform::profilePath(kConfigFileName); }

// The open batches' view of the file. Only the configuration section is
// batched: it is the one every caller names.
struct Batch {
  std::mutex lock;
  // All guarded by lock.
  int depth = 0;
  bool loaded = false;
  platform::ProfileSection snapshot;  // the file as read at the first read
  platform::ProfileSection held;      // writes not yet stored, in order

  // Requires lock held.
  std::optional<std::string> find(std::string_view key) {
    // The last write of a key wins: search the held writes from the end.
    for (auto entry = held.rbegin(); entry != held.rend(); ++entry) {
      if (platform::sameProfileName(entry->key, key)) return entry->value;
    }
    if (!loaded) {
      snapshot = platform::readProfileSection(configPath(), kConfigSection);
      loaded = true;
    }
    return platform::findProfileEntry(snapshot, key);
  }

  // Requires lock held. Gives the memory back too: see batch().
  void commit() {
    if (!held.empty()) platform::writeProfileValues(configPath(), kConfigSection, held);
    platform::ProfileSection().swap(held);
  }
  // Requires lock held.
  void end() {
    commit();
    loaded = false;
    platform::ProfileSection().swap(snapshot);
  }
};

Batch& batch() {
  // Built in place and never destroyed: the unload sequence may run after
  // the exit routines that destroy the library's static objects. Between
  // batches it holds no memory, so an unloaded library leaves none behind.
  alignas(Batch) static std::byte storage[sizeof(Batch)];
  static Batch* const shared = new (storage) Batch;
  return *shared;
}

bool batched(std::string_view section) { return section == kConfigSection; }

std::optional<std::string> readValue(std::string_view key, std::string_view section) {
  Batch& b = batch();
  {
    std::lock_guard hold(b.lock);
    if (b.depth > 0 && batched(section)) return b.find(key);
  }
  return platform::readProfileValue(configPath(), section, key);
}

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
  if (const auto text = readValue(key, section)) {
    if (const auto value = parseConfigInt(*text)) return *value;
  }
  WriteConfigInt(key, defaultValue, section);
  return defaultValue;
}

void WriteConfigInt(std::string_view key, std::int32_t value, std::string_view section) {
  const std::string text = std::to_string(value);
  Batch& b = batch();
  {
    std::lock_guard hold(b.lock);
    if (b.depth > 0 && batched(section)) {
      b.held.push_back({std::string(key), text});
      return;
    }
  }
  platform::writeProfileValue(configPath(), section, key, text);
}

ConfigBatch::ConfigBatch() {
  Batch& b = batch();
  std::lock_guard hold(b.lock);
  ++b.depth;
}

ConfigBatch::~ConfigBatch() {
  Batch& b = batch();
  std::lock_guard hold(b.lock);
  if (--b.depth == 0) b.end();
}

void commitConfigBatch() {
  Batch& b = batch();
  std::lock_guard hold(b.lock);
  b.commit();
}

}  // namespace corvane::settings
