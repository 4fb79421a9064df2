#include "platform/profile_text.h"

#include <cstddef>
#include <vector>

namespace corvane::platform::profile_text {
namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view trim(std::string_view s) {
  const auto first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  }
  return true;
}

enum class LineKind { Blank, Comment, Header, Entry, Other };

// One physical line: its body without the line ending, and the ending itself
// ("\n", "\r\n", or empty on a last line that has none).
struct Line {
  std::string_view body;
  std::string_view eol;
  LineKind kind = LineKind::Other;
  std::string_view name;   // section of a header, key of an entry
  std::string_view value;  // raw text after '=' of an entry
};

void classify(Line& line, bool firstLine) {
  std::string_view content = line.body;
  if (firstLine && content.starts_with(kByteOrderMark)) content.remove_prefix(kByteOrderMark.size());
  const std::string_view t = trim(content);
  if (t.empty()) {
    line.kind = LineKind::Blank;
  } else if (t.front() == ';') {
    line.kind = LineKind::Comment;
  } else if (t.front() == '[') {
    line.kind = LineKind::Header;
    const auto close = t.find(']');
    line.name = trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
  } else if (const auto eq = t.find('='); eq != std::string_view::npos) {
    line.kind = LineKind::Entry;
    line.name = trim(t.substr(0, eq));
    line.value = t.substr(eq + 1);
  }
}

std::vector<Line> splitLines(std::string_view text) {
  std::vector<Line> lines;
  while (!text.empty()) {
    Line line;
    const auto nl = text.find('\n');
    if (nl == std::string_view::npos) {
      line.body = text;
      text = {};
    } else {
      line.body = text.substr(0, nl);
      line.eol = text.substr(nl, 1);
      if (line.body.ends_with('\r')) {
        line.body.remove_suffix(1);
        line.eol = text.substr(nl - 1, 2);
      }
      text.remove_prefix(nl + 1);
    }
    classify(line, lines.empty());
    lines.push_back(line);
  }
  return lines;
}

// A file written with CRLF endings gets CRLF on the lines we add.
std::string_view newlineOf(const std::vector<Line>& lines) {
  for (const Line& line : lines) {
    if (!line.eol.empty()) return line.eol;
  }
  return "\n";
}

std::size_t findSection(const std::vector<Line>& lines, std::string_view section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind == LineKind::Header && equalsIgnoringCase(lines[i].name, section)) return i;
  }
  return lines.size();
}

std::size_t sectionEnd(const std::vector<Line>& lines, std::size_t header) {
  std::size_t i = header + 1;
  while (i < lines.size() && lines[i].kind != LineKind::Header) ++i;
  return i;
}

std::size_t findKey(const std::vector<Line>& lines, std::size_t header, std::size_t end,
                    std::string_view key) {
  for (std::size_t i = header + 1; i < end; ++i) {
    if (lines[i].kind == LineKind::Entry && equalsIgnoringCase(lines[i].name, key)) return i;
  }
  return end;
}

std::string entryText(std::string_view key, std::string_view value) {
  std::string s;
  s.reserve(key.size() + 1 + value.size());
  s.append(key).append("=").append(value);
  return s;
}

void appendLine(std::string& out, std::string_view body, std::string_view eol) {
  out.append(body).append(eol);
}

std::string readValue(const Line& entry) {
  std::string_view value = trim(entry.value);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

}  // namespace

std::optional<std::string> findProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key) {
  const auto lines = splitLines(text);
  const std::size_t header = findSection(lines, trim(section));
  if (header == lines.size()) return std::nullopt;
  const std::size_t end = sectionEnd(lines, header);
  const std::size_t at = findKey(lines, header, end, trim(key));
  if (at == end) return std::nullopt;
  return readValue(lines[at]);
}

ProfileSection profileSectionValues(std::string_view text, std::string_view section) {
  ProfileSection values;
  const auto lines = splitLines(text);
  const std::size_t header = findSection(lines, trim(section));
  if (header == lines.size()) return values;
  const std::size_t end = sectionEnd(lines, header);
  for (std::size_t i = header + 1; i < end; ++i) {
    if (lines[i].kind == LineKind::Entry) values.push_back({std::string(lines[i].name), readValue(lines[i])});
  }
  return values;
}

bool isStorableProfileEntry(std::string_view section, std::string_view key, std::string_view value) {
  constexpr std::string_view kLineBreaks = "\r\n";
  const std::string_view s = trim(section);
  const std::string_view k = trim(key);
  if (s.empty() || s.find_first_of(kLineBreaks) != std::string_view::npos ||
      s.find(']') != std::string_view::npos) {
    return false;
  }
  if (k.empty() || k.find_first_of(kLineBreaks) != std::string_view::npos ||
      k.find('=') != std::string_view::npos || k.front() == ';' || k.front() == '[') {
    return false;
  }
  return value.find_first_of(kLineBreaks) == std::string_view::npos;
}

std::string withProfileValue(std::string_view text, std::string_view section, std::string_view key,
                             std::string_view value) {
  section = trim(section);
  key = trim(key);
  const auto lines = splitLines(text);
  const std::string_view newline = newlineOf(lines);
  std::string out;
  out.reserve(text.size() + section.size() + key.size() + value.size() + 8);

  const std::size_t header = findSection(lines, section);
  if (header == lines.size()) {
    out.append(text);
    if (!lines.empty() && lines.back().eol.empty()) out.append(newline);
    appendLine(out, "[" + std::string(section) + "]", newline);
    appendLine(out, entryText(key, value), newline);
    return out;
  }

  const std::size_t end = sectionEnd(lines, header);
  const std::size_t at = findKey(lines, header, end, key);
  if (at != end) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (i == at) {
        appendLine(out, entryText(lines[i].name, value), lines[i].eol.empty() ? newline : lines[i].eol);
      } else {
        appendLine(out, lines[i].body, lines[i].eol);
      }
    }
    return out;
  }

  // New keys go after the section's last non-blank line, so the blank lines
  // that separate it from the next section stay where they are.
  std::size_t last = header;
  for (std::size_t i = header + 1; i < end; ++i) {
    if (lines[i].kind != LineKind::Blank) last = i;
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    appendLine(out, lines[i].body, lines[i].eol);
    if (i == last) {
      if (lines[i].eol.empty()) out.append(newline);
      appendLine(out, entryText(key, value), newline);
    }
  }
  return out;
}

}  // namespace corvane::platform::profile_text

namespace corvane::platform {

bool sameProfileName(std::string_view a, std::string_view b) {
  return profile_text::equalsIgnoringCase(profile_text::trim(a), profile_text::trim(b));
}

std::optional<std::string> findProfileEntry(const ProfileSection& section, std::string_view key) {
  for (const ProfileEntry& entry : section) {
    if (sameProfileName(entry.key, key)) return entry.value;
  }
  return std::nullopt;
}

}  // namespace corvane::platform
