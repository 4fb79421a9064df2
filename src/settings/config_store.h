// The only way to the settings file: 32-bit integers in one section of
// "VideoCorvane.ini". A key that is missing or not a number is written back
// with its default the first time it is read, so every key read once is in
// the file from then on.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace corvane::settings {

inline constexpr std::string_view kConfigFileName = "VideoCorvane.ini";
inline constexpr std::string_view kConfigSection = "VideoCorvane Configuration";

// The value the "%d" conversion takes from text: optional leading white
// space, an optional sign, decimal digits; anything after them is ignored.
// nullopt when no digit follows. Values beyond 32 bits saturate.
std::optional<std::int32_t> parseConfigInt(std::string_view text);

std::int32_t ReadConfigInt(std::string_view key, std::int32_t defaultValue,
                           std::string_view section = kConfigSection);

// The store's success is not looked at: a file that cannot be written leaves
// the value in memory only, and the next load reads the default again.
void WriteConfigInt(std::string_view key, std::int32_t value, std::string_view section = kConfigSection);

// While a batch exists (process-wide; batches nest), the file is read once,
// at the first read, and every write is held back and stored in one rewrite
// when the outermost batch ends. The load and the unload each touch some
// fifty keys: one read and one rewrite instead of fifty of each. Reads in a
// batch see the writes held back in it.
class ConfigBatch {
 public:
  ConfigBatch();
  ~ConfigBatch();
  ConfigBatch(const ConfigBatch&) = delete;
  ConfigBatch& operator=(const ConfigBatch&) = delete;
};

// Stores the writes held back by the open batches now; for a process about
// to end without leaving them.
void commitConfigBatch();

}  // namespace corvane::settings
