#include "toolkit/dialog_script.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <variant>

namespace corvane::tk::detail {
namespace {

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    const std::size_t start = at;
    while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
    if (at > start) out.push_back(line.substr(start, at - start));
  }
  return out;
}

template <class Int>
std::optional<Int> integer(std::string_view word) {
  Int value{};
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (error != std::errc() || end != word.data() + word.size()) return std::nullopt;
  return value;
}

std::optional<double> number(std::string_view word) {
  const std::string copy(word);
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (copy.empty() || end != copy.c_str() + copy.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

// The action a line spells, or the reason it spells none.
std::variant<ScriptAction, std::string> action(const std::vector<std::string_view>& w) {
  using Kind = ScriptAction::Kind;
  if (w[0] == "close" && w.size() == 1) return ScriptAction{Kind::Close};
  if (w[0] == "click" && w.size() == 2) {
    if (auto id = integer<std::int32_t>(w[1])) return ScriptAction{Kind::Click, *id};
    return "click needs a control id";
  }
  if (w[0] == "set" && w.size() == 3) {
    auto id = integer<std::int32_t>(w[1]);
    auto value = number(w[2]);
    if (id && value) return ScriptAction{Kind::Set, *id, *value};
    return "set needs a control id and a number";
  }
  if (w[0] == "wait" && w.size() == 2) {
    if (auto ms = integer<std::uint32_t>(w[1])) return ScriptAction{Kind::Wait, 0, 0.0, *ms};
    return "wait needs milliseconds";
  }
  return "not an action: " + std::string(w[0]);
}

}  // namespace

DialogScript parseDialogScript(std::string_view text) {
  DialogScript script;
  std::size_t lineNumber = 0;
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto w = words(line);
    if (w.empty() || w[0].front() == '#') continue;
    const auto problem = [&](const std::string& what) {
      script.problems.push_back("line " + std::to_string(lineNumber) + ": " + what);
    };
    if (w[0] == "dialog") {
      auto id = w.size() == 2 ? integer<std::int32_t>(w[1]) : std::nullopt;
      if (id) {
        script.blocks.push_back(ScriptBlock{*id, {}});
      } else {
        problem("dialog needs a resource id");
      }
      continue;
    }
    auto parsed = action(w);
    if (auto* message = std::get_if<std::string>(&parsed)) {
      problem(*message);
    } else if (script.blocks.empty()) {
      problem("action before any dialog line");
    } else {
      script.blocks.back().actions.push_back(std::get<ScriptAction>(parsed));
    }
  }
  return script;
}

std::vector<ScriptAction> takeScriptedActions(const std::string& path, std::int32_t dialogId) {
  static std::mutex lock;
  static std::map<std::string, std::vector<ScriptBlock>> loaded;  // guarded by lock
  std::lock_guard guard(lock);
  auto found = loaded.find(path);
  if (found == loaded.end()) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (in) {
      text << in.rdbuf();
    } else {
      std::fprintf(stderr, "Corvane: dialog script %s cannot be read; dialogs close at once\n", path.c_str());
    }
    DialogScript script = parseDialogScript(text.str());
    for (const std::string& problem : script.problems) {
      std::fprintf(stderr, "Corvane: dialog script %s %s (skipped)\n", path.c_str(), problem.c_str());
    }
    found = loaded.emplace(path, std::move(script.blocks)).first;
  }
  auto& blocks = found->second;
  for (auto block = blocks.begin(); block != blocks.end(); ++block) {
    if (block->dialogId != dialogId) continue;
    std::vector<ScriptAction> actions = std::move(block->actions);
    blocks.erase(block);
    return actions;
  }
  return {};
}

}  // namespace corvane::tk::detail
