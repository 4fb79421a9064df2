// Command-line options as every corvane-host command reads them: "--name
// value" and "--name=value", short "-x" flags and "-x value", "-" as an
// operand (standard input or output), "--" ending the options. Anything the
// table does not hold is a UsageError.
#pragma once

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::host {

struct OptionRule {
  std::string_view name;  // long name without "--"; the key of the parsed value
  char shortName = '\0';  // '\0': no short form
  bool takesValue = false;
};

class ParsedOptions {
 public:
  bool has(std::string_view name) const { return values_.count(std::string(name)) != 0; }
  std::optional<std::string> value(std::string_view name) const;
  const std::vector<std::string>& operands() const { return operands_; }

 private:
  friend ParsedOptions parseOptions(const std::vector<std::string>&, std::span<const OptionRule>);
  std::map<std::string, std::string> values_;
  std::vector<std::string> operands_;
};

ParsedOptions parseOptions(const std::vector<std::string>& args, std::span<const OptionRule> rules);

// The options of every command that writes a file, to append to its table.
inline constexpr OptionRule kOverwriteYes{"overwrite", 'y', false};
inline constexpr OptionRule kOverwriteNo{"no-overwrite", 'n', false};
inline constexpr OptionRule kQuiet{"quiet", 'q', false};

enum class Overwrite : std::uint8_t { Refuse, Allow };

// -y allows, -n (or neither) refuses; both at once is a UsageError.
Overwrite overwriteChoice(const ParsedOptions& options);

}  // namespace corvane::host
