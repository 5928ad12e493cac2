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
// -2 a row followed by a border line. Asking a row for cell c creates the missing cells.
// Single-threaded; owns its rows.
#include <memory>
#include <string>
#include <vector>

#include "model/kv_list.h"

namespace kv {

enum class TSAlign { kLeft = 0, kCentre = 1, kRight = 2 };

struct TSReportCell {
  std::string Text;
  int Width = 0;
  TSAlign Align = TSAlign::kLeft;
};

class TSReport;

class TSReportItem {
 public:
  explicit TSReportItem(TSReport& owner) : owner_(owner) {}
  // Cell c, creating cells 0..c as needed.
  TSReportCell& Cell(int c);
  int CellCount() const { return static_cast<int>(cells_.size()); }

 private:
  TSReport& owner_;
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
  void SetKind(const TSReportItem& row, int kind);
  // Appends the table as text lines.
  void Render(TStringList& lines);

 private:
  friend class TSReportItem;
  struct Row {
    std::unique_ptr<TSReportItem> item;
    int kind = kData;
  };
  void CellsGrew(int count) {
    if (count > columns_) columns_ = count;
  }
  std::string DataLine(TSReportItem& row) const;

  std::vector<Row> rows_;
  int columns_ = 0;
};

}  // namespace kv
