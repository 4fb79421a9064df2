// Where each control of a dialog lands in character cells. Dialog units map
// to cells at a fixed scale (4 across, 10 down), but a terminal's cells are
// wider than a proportional font's letters: a label that fits its rectangle
// in the dialog's font may not fit in cells. So the mapping gets extra cells
// wherever something would otherwise run into its neighbour (a label into its
// slider, a button into the frame above it), and everything further right or
// down moves with it, keeping columns and rows aligned. When the result is
// wider than the terminal, the horizontal scale shrinks until it fits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/modal_dialog.h"

namespace corvane::tk::detail {

struct CellRect {
  int column = 0;
  int row = 0;
  int columns = 1;  // what the control draws: its text, or its rectangle for sliders and boxes
  int rows = 1;
};

// Words over at most `lines` lines, each at most width long where the words allow.
std::vector<std::string> wrapped(std::string_view text, int width, int lines);

class DialogLayout {
 public:
  DialogLayout(const ModalDialog& dialog, int maxColumns);

  CellRect cellsOf(std::size_t index) const { return cells_[index]; }
  // The frame of a group box: its right column and bottom row.
  int rightOf(std::size_t index) const;
  int bottomOf(std::size_t index) const;
  // The dialog's own frame.
  int right() const;
  int bottom() const;

 private:
  // One axis: units to cells at a scale, plus the cells added at given units.
  struct Axis {
    double unitsPerCell;
    std::map<std::int32_t, int> extraAt;
    int cell(std::int32_t units) const;
  };
  // What must hold after layout: cell(to) >= cell(from) + gap.
  struct Gap {
    std::int32_t from;
    std::int32_t to;
    int gap;
  };
  static void widen(Axis& axis, std::vector<Gap> gaps);
  void place(double unitsPerColumn);

  const ModalDialog& dialog_;
  Axis across_{4.0, {}};
  Axis down_{10.0, {}};
  std::vector<CellRect> cells_;
};

}  // namespace corvane::tk::detail
