#include "platform/profile.h"

#include <atomic>
#include <cstdio>

#include "platform/profile_store.h"
#include "platform/profile_text.h"

namespace corvane::platform {
namespace profile_store {

void reportOnce(const std::string& line) {
  static std::atomic<bool> reported{false};
  if (reported.exchange(true)) return;
  // stderr is unbuffered: the line goes out whole, at once.
  const std::string text = "Corvane: " + line + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
}

std::string sizeRefusal(const std::string& path) {
  return path + " is larger than " + std::to_string(kMaxProfileBytes >> 20) + " MB";
}

bool isStaleTemporaryName(std::string_view name, std::string_view prefix) {
  if (name.size() != prefix.size() + kTemporaryLetters || !name.starts_with(prefix)) return false;
  for (const char c : name.substr(prefix.size())) {
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alnum) return false;
  }
  return true;
}

}  // namespace profile_store

namespace {

bool storable(std::string_view section, std::span<const ProfileEntry> entries) {
  for (const ProfileEntry& entry : entries) {
    if (!profile_text::isStorableProfileEntry(section, entry.key, entry.value)) return false;
  }
  return true;
}

}  // namespace

ProfileSection readProfileSection(const std::string& path, std::string_view section) {
  return profile_text::profileSectionValues(profile_store::readForLookup(path), section);
}

std::optional<std::string> readProfileValue(const std::string& path, std::string_view section,
                                            std::string_view key) {
  return profile_text::findProfileValue(profile_store::readForLookup(path), section, key);
}

std::optional<std::string> saveProfileValues(const std::string& path, std::string_view section,
                                             std::span<const ProfileEntry> entries) {
  if (path.empty() || !storable(section, entries)) return "the entry cannot be stored as given";
  std::string reason;
  if (profile_store::saveEntries(path, section, entries, reason)) return std::nullopt;
  return reason;
}

bool writeProfileValues(const std::string& path, std::string_view section,
                        std::span<const ProfileEntry> entries) {
  // A refused entry is the caller's mistake, not the system's: no notice.
  if (path.empty() || !storable(section, entries)) return false;
  std::string reason;
  if (profile_store::saveEntries(path, section, entries, reason)) return true;
  profile_store::reportOnce("settings could not be saved to " + path + ": " + reason);
  return false;
}

bool writeProfileValue(const std::string& path, std::string_view section, std::string_view key,
                       std::string_view value) {
  const ProfileEntry entry{std::string(key), std::string(value)};
  return writeProfileValues(path, section, std::span(&entry, 1));
}

}  // namespace corvane::platform
