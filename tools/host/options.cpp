#include "host/options.h"

#include "host/command.h"

namespace corvane::host {
namespace {

const OptionRule* findLong(std::span<const OptionRule> rules, std::string_view name) {
  for (const OptionRule& rule : rules)
    if (rule.name == name) return &rule;
  return nullptr;
}

const OptionRule* findShort(std::span<const OptionRule> rules, char name) {
  for (const OptionRule& rule : rules)
    if (rule.shortName != '\0' && rule.shortName == name) return &rule;
  return nullptr;
}

}  // namespace

std::optional<std::string> ParsedOptions::value(std::string_view name) const {
  const auto found = values_.find(std::string(name));
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

ParsedOptions parseOptions(const std::vector<std::string>& args, std::span<const OptionRule> rules) {
  ParsedOptions parsed;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
      parsed.operands_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const OptionRule* rule = nullptr;
    std::optional<std::string> inlineValue;
    if (arg.rfind("--", 0) == 0) {
      const std::size_t equals = arg.find('=');
      rule = findLong(rules,
                      std::string_view(arg).substr(2, equals == std::string::npos ? arg.npos : equals - 2));
      if (equals != std::string::npos) inlineValue = arg.substr(equals + 1);
    } else if (arg.size() == 2) {
      rule = findShort(rules, arg[1]);
    }
    if (rule == nullptr) throw UsageError("unknown option " + arg + " (see --help)");
    const std::string shown = arg.substr(0, arg.find('='));
    if (!rule->takesValue) {
      if (inlineValue) throw UsageError(shown + " takes no value");
      parsed.values_[std::string(rule->name)] = "";
    } else if (inlineValue) {
      parsed.values_[std::string(rule->name)] = *inlineValue;
    } else if (i + 1 < args.size()) {
      parsed.values_[std::string(rule->name)] = args[++i];
    } else {
      throw UsageError(shown + " needs a value (see --help)");
    }
  }
  return parsed;
}

Overwrite overwriteChoice(const ParsedOptions& options) {
  if (options.has(kOverwriteYes.name) && options.has(kOverwriteNo.name))
    throw UsageError("-y and -n contradict each other");
  return options.has(kOverwriteYes.name) ? Overwrite::Allow : Overwrite::Refuse;
}

}  // namespace corvane::host
