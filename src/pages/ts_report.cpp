#include "pages/ts_report.h"

#include <algorithm>

namespace kv {
namespace {

// Half of the free space before a centred text, rounded to the nearest integer with ties
// to even: 9 free blanks give 4 before, 18 give 9.
int CentreOffset(int free_space) {
  const int half = free_space / 2;
  if (free_space % 2 == 0) return half;
  // free_space / 2 is x.5: round to the even neighbour.
  return (half % 2 == 0) ? half : half + 1;
}

std::string Place(const TSReportCell& cell) {
  const int length = static_cast<int>(cell.Text.size());
  const int free_space = std::max(0, cell.Width - length);
  switch (cell.Align) {
    case TSAlign::kRight:
      return std::string(static_cast<size_t>(free_space), ' ') + cell.Text;
    case TSAlign::kCentre: {
      const int before = CentreOffset(free_space);
      return std::string(static_cast<size_t>(before), ' ') + cell.Text +
             std::string(static_cast<size_t>(free_space - before), ' ');
    }
    case TSAlign::kLeft:
    default:
      return cell.Text + std::string(static_cast<size_t>(free_space), ' ');
  }
}

}  // namespace

TSReportCell& TSReportItem::Cell(int c) {
  if (c < 0) c = 0;
  if (static_cast<int>(cells_.size()) <= c) {
    cells_.resize(static_cast<size_t>(c) + 1);
    owner_.CellsGrew(static_cast<int>(cells_.size()));
  }
  return cells_[static_cast<size_t>(c)];
}

TSReportItem& TSReport::AddRow() {
  rows_.push_back(Row{std::make_unique<TSReportItem>(*this), kData});
  return *rows_.back().item;
}

TSReportCell& TSReport::AddRow(int kind) {
  rows_.push_back(Row{std::make_unique<TSReportItem>(*this), kind});
  return rows_.back().item->Cell(0);
}

void TSReport::SetKind(const TSReportItem& row, int kind) {
  for (Row& r : rows_)
    if (r.item.get() == &row) r.kind = kind;
}

std::string TSReport::DataLine(TSReportItem& row) const {
  std::string line;
  for (int c = 0; c < row.CellCount(); ++c) line.append("| ").append(Place(row.Cell(c))).append(" ");
  return line.append("|");
}

void TSReport::Render(TStringList& lines) {
  // Column widths from every row that is not a title.
  std::vector<int> widths(static_cast<size_t>(columns_), 0);
  for (Row& r : rows_) {
    if (r.kind == kTitle) continue;
    for (int c = 0; c < r.item->CellCount(); ++c)
      widths[static_cast<size_t>(c)] =
          std::max(widths[static_cast<size_t>(c)], static_cast<int>(r.item->Cell(c).Text.size()));
  }
  for (Row& r : rows_)
    for (int c = 0; c < columns_; ++c) r.item->Cell(c).Width = widths[static_cast<size_t>(c)];

  int full_width = 1;
  for (int w : widths) full_width += w + 3;
  const std::string border = "|" + std::string(static_cast<size_t>(std::max(0, full_width - 2)), '-') + "|";

  bool previous_had_border_before = false;
  for (size_t i = 0; i < rows_.size(); ++i) {
    Row& r = rows_[i];
    bool border_before = false;
    if (r.kind == kTitle) {
      border_before = i == 0 || !previous_had_border_before;
      if (border_before) lines.push_back(border);
      const std::string& text = r.item->Cell(0).Text;
      const int pad = std::max(0, full_width - 4 - static_cast<int>(text.size()));
      lines.push_back("| " + text + std::string(static_cast<size_t>(pad), ' ') + " |");
      lines.push_back(border);
    } else {
      border_before = i == 0;
      if (border_before) lines.push_back(border);
      lines.push_back(DataLine(*r.item));
      if (r.kind == kBorderAfter) lines.push_back(border);
    }
    previous_had_border_before = border_before;
  }
}

}  // namespace kv
