#include "toolkit/dialog_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace corvane::tk::detail {
namespace {

constexpr double kNarrowestScale = 4.0;
constexpr double kWidestScale = 8.0;
constexpr double kScaleStep = 0.25;
constexpr int kUnitsPerRow = 10;

bool isBox(const ControlTemplate& c) { return c.kind == ControlKind::GroupBox; }

bool rowsOverlap(const DialogRect& a, const DialogRect& b) {
  return a.y < b.y + b.height && b.y < a.y + a.height;
}
bool columnsOverlap(const DialogRect& a, const DialogRect& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width;
}
bool inside(const DialogRect& inner, const DialogRect& outer) {
  return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
         inner.y + inner.height <= outer.y + outer.height;
}

int rectRows(const DialogRect& r) { return std::max(1, (r.height + kUnitsPerRow / 2) / kUnitsPerRow); }

int rectColumns(const DialogRect& r, double unitsPerColumn) {
  return std::max(1, static_cast<int>(std::floor(r.width / unitsPerColumn)));
}

int columnsOf(const ControlTemplate& c, std::size_t textSize, double unitsPerColumn) {
  const int text = static_cast<int>(textSize);
  switch (c.kind) {
    case ControlKind::StaticText:
      // A one-line label is never cut; a longer text wraps in its rectangle.
      return rectRows(c.rect) == 1 ? std::max(1, text) : rectColumns(c.rect, unitsPerColumn);
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
    case ControlKind::PushLikeCheckBox:
    case ControlKind::PushButton:
    case ControlKind::DefaultPushButton:
      return text + 4;  // "[x] " or "( ) " before, or "[ " and " ]" around
    case ControlKind::GroupBox:
    case ControlKind::Placeholder:
      break;
  }
  return rectColumns(c.rect, unitsPerColumn);
}

}  // namespace

std::vector<std::string> wrapped(std::string_view text, int width, int lines) {
  std::vector<std::string> out(1);
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find(' ', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view word = text.substr(at, end - at);
    at = end + 1;
    if (!out.back().empty() && static_cast<int>(out.back().size() + 1 + word.size()) > width) {
      if (static_cast<int>(out.size()) == lines) break;
      out.emplace_back();
    }
    if (!out.back().empty()) out.back() += ' ';
    out.back() += word;
  }
  return out;
}

int DialogLayout::Axis::cell(std::int32_t units) const {
  int extra = 0;
  for (auto it = extraAt.begin(); it != extraAt.end() && it->first <= units; ++it) extra += it->second;
  return 1 + static_cast<int>(std::floor(std::max(0, units) / unitsPerCell)) + extra;
}

// Gaps are met in the order of their far ends: cells added at one end only
// move what lies at or beyond it, so a gap met earlier stays met.
void DialogLayout::widen(Axis& axis, std::vector<Gap> gaps) {
  std::stable_sort(gaps.begin(), gaps.end(), [](const Gap& a, const Gap& b) { return a.to < b.to; });
  for (const Gap& g : gaps) {
    if (g.from >= g.to) continue;
    const int shortfall = axis.cell(g.from) + g.gap - axis.cell(g.to);
    if (shortfall > 0) axis.extraAt[g.to] += shortfall;
  }
}

void DialogLayout::place(double unitsPerColumn) {
  const DialogTemplate& t = dialog_.dialogTemplate();
  const auto& controls = t.controls;
  const auto columns = [&](std::size_t i) {
    return columnsOf(controls[i], dialog_.textOf(i).size(), unitsPerColumn);
  };
  // A text that wraps takes the rows it needs, at least those of its rectangle.
  const auto rowsOf = [&](std::size_t i) {
    const ControlTemplate& c = controls[i];
    if (c.kind != ControlKind::StaticText || rectRows(c.rect) == 1) return 1;
    const auto lines = wrapped(dialog_.textOf(i), columns(i), std::numeric_limits<int>::max());
    return std::max(rectRows(c.rect), static_cast<int>(lines.size()));
  };

  std::vector<Gap> across, down;
  for (std::size_t a = 0; a < controls.size(); ++a) {
    const DialogRect& ra = controls[a].rect;
    const std::int32_t rightEdge = ra.x + ra.width - 1;
    const std::int32_t bottomEdge = ra.y + ra.height - 1;
    if (!isBox(controls[a])) {
      across.push_back({ra.x, t.size.width - 1, columns(a) - 1});
      down.push_back({ra.y, t.size.height - 1, rowsOf(a) - 1});
    }
    for (std::size_t b = 0; b < controls.size(); ++b) {
      if (a == b) continue;
      const DialogRect& rb = controls[b].rect;
      if (isBox(controls[a])) {
        if (!isBox(controls[b]) && inside(rb, ra)) {
          across.push_back({ra.x, rb.x, 1});
          across.push_back({rb.x, rightEdge, columns(b)});
          down.push_back({ra.y, rb.y, 1});
          down.push_back({rb.y, bottomEdge, rowsOf(b)});
        } else if (columnsOverlap(ra, rb) && rb.y > bottomEdge) {
          down.push_back({bottomEdge, rb.y, 1});
        }
        continue;
      }
      if (!isBox(controls[b]) && rowsOverlap(ra, rb) && rb.x > rightEdge)
        across.push_back({ra.x, rb.x, columns(a) + 1});
      if (columnsOverlap(ra, rb) && rb.y > bottomEdge) down.push_back({ra.y, rb.y, rowsOf(a)});
    }
  }
  across_ = Axis{unitsPerColumn, {}};
  down_ = Axis{kUnitsPerRow, {}};
  widen(across_, std::move(across));
  widen(down_, std::move(down));

  cells_.clear();
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const DialogRect& r = controls[i].rect;
    cells_.push_back({across_.cell(r.x), down_.cell(r.y), columns(i), rowsOf(i)});
  }
}

DialogLayout::DialogLayout(const ModalDialog& dialog, int maxColumns) : dialog_(dialog) {
  for (double scale = kNarrowestScale; scale <= kWidestScale; scale += kScaleStep) {
    place(scale);
    if (right() + 1 <= maxColumns) break;
  }
}

int DialogLayout::rightOf(std::size_t index) const {
  const DialogRect& r = dialog_.dialogTemplate().controls[index].rect;
  return across_.cell(r.x + r.width - 1);
}

int DialogLayout::bottomOf(std::size_t index) const {
  const DialogRect& r = dialog_.dialogTemplate().controls[index].rect;
  return down_.cell(r.y + r.height - 1);
}

int DialogLayout::right() const { return across_.cell(dialog_.dialogTemplate().size.width - 1) + 1; }
int DialogLayout::bottom() const { return down_.cell(dialog_.dialogTemplate().size.height - 1) + 1; }

}  // namespace corvane::tk::detail
