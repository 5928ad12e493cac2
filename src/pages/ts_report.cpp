#include "pages/ts_report.h"

#include <algorithm>

#include "pages/format_helpers.h"

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

// Appends the cell's text padded to `width`.
void Place(const TSReportCell& cell, size_t width, std::string& line) {
  const size_t free_space = width > cell.Text.size() ? width - cell.Text.size() : 0;
  switch (cell.Align) {
    case TSAlign::kRight:
      line.append(free_space, ' ').append(cell.Text);
      break;
    case TSAlign::kCentre: {
      const size_t before = static_cast<size_t>(CentreOffset(static_cast<int>(free_space)));
      line.append(before, ' ').append(cell.Text).append(free_space - before, ' ');
      break;
    }
    case TSAlign::kLeft:
    default:
      line.append(cell.Text).append(free_space, ' ');
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
  TSReportItem& row = rows_.emplace_back(*this, kData);
  row.cells_.reserve(static_cast<size_t>(columns_));  // rows are mostly as wide as the table
  return row;
}

TSReportCell& TSReport::AddRow(int kind) { return rows_.emplace_back(*this, kind).Cell(0); }

void TSReport::DataLine(const TSReportItem& row, const std::vector<size_t>& widths, std::string& line) const {
  static const TSReportCell kEmpty;
  line.clear();
  for (size_t c = 0; c < widths.size(); ++c) {
    line.append("| ");
    Place(c < row.cells_.size() ? row.cells_[c] : kEmpty, widths[c], line);
    line.append(" ");
  }
  line.append("|");
}

void TSReport::Render(TStringList& lines) const {
  Render([&lines](std::string_view line) { lines.emplace_back(line); });
}

void TSReport::Render(const std::function<void(std::string_view)>& emit) const {
  // Column widths from every row that is not a title.
  std::vector<size_t> widths(static_cast<size_t>(columns_), 0);
  for (const TSReportItem& r : rows_) {
    if (r.kind_ == kTitle) continue;
    for (size_t c = 0; c < r.cells_.size(); ++c) widths[c] = std::max(widths[c], r.cells_[c].Text.size());
  }
  size_t full_width = 1;
  for (size_t w : widths) full_width += w + 3;
  const std::string border = "|" + std::string(full_width > 2 ? full_width - 2 : 0, '-') + "|";

  std::string line;
  bool previous_had_border_before = false;
  for (size_t i = 0; i < rows_.size(); ++i) {
    const TSReportItem& r = rows_[i];
    bool border_before = false;
    if (r.kind_ == kTitle) {
      border_before = i == 0 || !previous_had_border_before;
      if (border_before) emit(border);
      const std::string_view text = r.cells_.empty() ? std::string_view() : r.cells_[0].Text;
      const size_t pad = full_width > 4 + text.size() ? full_width - 4 - text.size() : 0;
      line.assign("| ").append(text).append(pad, ' ').append(" |");
      emit(line);
      emit(border);
    } else {
      border_before = i == 0;
      if (border_before) emit(border);
      DataLine(r, widths, line);
      emit(line);
      if (r.kind_ == kBorderAfter) emit(border);
    }
    previous_had_border_before = border_before;
  }
}

// A CR LF inside a cell's text becomes "<br>" CR LF too. Line by line: the CR LF between
// lines breaks every run of blanks, so no pair of blanks and no CR LF spans two lines.
void AppendTextTableHtml(const TSReport& table, std::string& text) {
  static const std::string kNbspRun = [] {
    std::string run;
    for (int i = 0; i < 64; ++i) run += " &nbsp;";
    return run;
  }();
  table.Render([&text](std::string_view line) {
    size_t from = 0;  // start of the bytes not yet copied
    for (size_t i = 0; i + 1 < line.size(); ++i) {
      if (static_cast<unsigned char>(line[i]) > ' ') continue;  // most bytes
      if (line[i] == '\r' && line[i + 1] == '\n') {
        AppendHtmlEscapedAll(text, line.substr(from, i - from));
        text.append("<br>\r\n");
        from = i + 2;
        ++i;
      } else if (line[i] == ' ' && line[i + 1] == ' ') {
        // A run of blanks pairs up from its start; an odd last one stays a blank.
        size_t end = i + 2;
        while (end < line.size() && line[end] == ' ') ++end;
        AppendHtmlEscapedAll(text, line.substr(from, i - from));
        for (size_t pairs = (end - i) / 2; pairs > 0;) {
          const size_t now = std::min<size_t>(pairs, 64);
          text.append(kNbspRun, 0, now * 7);
          pairs -= now;
        }
        from = i + (end - i) / 2 * 2;
        i = end - 1;
      }
    }
    AppendHtmlEscapedAll(text, line.substr(from));
    text.append("<br>\r\n");
  });
}

}  // namespace kv
