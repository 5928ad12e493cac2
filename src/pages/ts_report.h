#pragma once
// TSReport: a small fixed-width text table, used for the plain-text copy of a drive's
// SMART table:
//
//   |----------------------------------|
//   | ST4000; ST4000NM0035; 4 TB       |
//   |----------------------------------|
//   | ID | Hex |  Name  | Current | ...
//   |----------------------------------|
//   |  1 |  01 | Read   |     100 | ...
//   |----------------------------------|
//
// Rows keep insertion order. Kind 0 is a data row, -1 a title row spanning the table,
// -2 a row followed by a border line. Asking a row for cell c creates the missing cells;
// a row with fewer cells than the table shows empty ones. Single-threaded; owns its rows.
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/kv_list.h"

namespace kv {

enum class TSAlign { kLeft = 0, kCentre = 1, kRight = 2 };

struct TSReportCell {
  std::string Text;
  TSAlign Align = TSAlign::kLeft;
};

class TSReport;

class TSReportItem {
 public:
  TSReportItem(TSReport& owner, int kind) : owner_(owner), kind_(kind) {}
  // Cell c, creating cells 0..c as needed.
  TSReportCell& Cell(int c);
  int CellCount() const { return static_cast<int>(cells_.size()); }

 private:
  friend class TSReport;
  TSReport& owner_;
  int kind_;
  std::vector<TSReportCell> cells_;
};

class TSReport {
 public:
  static constexpr int kData = 0;
  static constexpr int kTitle = -1;
  static constexpr int kBorderAfter = -2;

  TSReportItem& AddRow();
  // Adds a row of `kind` and returns its cell 0.
  TSReportCell& AddRow(int kind);
  void SetKind(TSReportItem& row, int kind) { row.kind_ = kind; }
  // Appends the table as text lines.
  void Render(TStringList& lines) const;
  // Hands each line of the table to `line` in turn; the view lasts for the call only.
  void Render(const std::function<void(std::string_view)>& line) const;

 private:
  friend class TSReportItem;
  void CellsGrew(int count) {
    if (count > columns_) columns_ = count;
  }
  void DataLine(const TSReportItem& row, const std::vector<size_t>& widths, std::string& line) const;

  std::deque<TSReportItem> rows_;  // a deque: the references AddRow hands out stay valid
  int columns_ = 0;
};

// The table as the HTML of a monospace block (the pages' "as text" copies): each line
// escaped and followed by "<br>" CR LF, each pair of blanks " &nbsp;" so the columns keep
// their widths. Escaped after the layout, so the columns line up as the raw texts do.
void AppendTextTableHtml(const TSReport& table, std::string& html);

}  // namespace kv
