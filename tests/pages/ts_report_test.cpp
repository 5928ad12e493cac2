// The fixed-width text table behind the plain-text copy of a SMART table.
#include <gtest/gtest.h>

#include <string>

#include "pages/ts_report.h"

namespace kv {
namespace {

// A SATA-shaped table: title, centred header, then one row per name.
TStringList SataTable(const std::vector<std::string>& names) {
  TSReport table;
  table.AddRow(TSReport::kTitle).Text = "Vendor; Model; 1 TB";
  TSReportItem& header = table.AddRow();
  const char* headings[] = {"ID", "Hex", "Name", "Current", "Worst", "Raw"};
  for (int c = 0; c < 6; ++c) {
    header.Cell(c).Text = headings[c];
    if (c == 2 || c == 5) header.Cell(c).Align = TSAlign::kCentre;
  }
  table.SetKind(header, TSReport::kBorderAfter);
  for (size_t i = 0; i < names.size(); ++i) {
    TSReportItem& row = table.AddRow();
    const std::string cells[] = {"1", "01", names[i], "100", "99", "0"};
    for (int c = 0; c < 6; ++c) {
      row.Cell(c).Text = cells[c];
      row.Cell(c).Align = c == 2 ? TSAlign::kLeft : TSAlign::kRight;
    }
    if (i + 1 == names.size()) table.SetKind(row, TSReport::kBorderAfter);
  }
  TStringList lines;
  table.Render(lines);
  return lines;
}

TEST(TSReport, SataTableLayoutWithBordersTitleAndCentredHeader) {
  const std::string name22 = "Raw_Read_Error_Rate_22";  // 22 characters
  ASSERT_EQ(name22.size(), 22u);
  const TStringList lines = SataTable({name22});
  // border, title, border, header, border, the one attribute, border
  ASSERT_EQ(lines.size(), 7u);
  const std::string header = "| ID | Hex | " + std::string(9, ' ') + "Name" + std::string(9, ' ') +
                             " | Current | Worst | Raw |";
  EXPECT_EQ(lines[3], header);
  EXPECT_EQ(lines[5], "|  1 |  01 | " + name22 + " |     100 |    99 |   0 |");
  const std::string border = "|" + std::string(header.size() - 2, '-') + "|";
  for (size_t i : {0u, 2u, 4u, 6u}) EXPECT_EQ(lines[i], border) << i;
  // The title spans the full width of a data line.
  EXPECT_EQ(lines[1], "| Vendor; Model; 1 TB" + std::string(header.size() - 4 - 19, ' ') + " |");
  for (const std::string& line : lines) EXPECT_EQ(line.size(), header.size()) << line;
}

TEST(TSReport, OnlyTheLastRowIsFollowedByABorder) {
  const TStringList lines = SataTable({"A", "B", "C"});
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[5].substr(0, 2), "| ");
  EXPECT_EQ(lines[6].substr(0, 2), "| ");
  EXPECT_EQ(lines[7].substr(0, 2), "| ");
  EXPECT_EQ(lines[8][1], '-');
}

TEST(TSReport, CentringRoundsHalvesToEven) {
  // free space -> blanks before the text (banker's rounding of free / 2)
  const struct {
    int width;
    int before;
  } cases[] = {{1, 0}, {2, 1}, {3, 2}, {5, 2}, {6, 3}, {7, 4}, {9, 4}, {11, 6}, {18, 9}};
  for (const auto& c : cases) {
    TSReport table;
    TSReportItem& wide = table.AddRow();
    wide.Cell(0).Text = std::string(static_cast<size_t>(c.width + 1), 'w');
    TSReportItem& narrow = table.AddRow();
    narrow.Cell(0).Text = "x";
    narrow.Cell(0).Align = TSAlign::kCentre;
    TStringList lines;
    table.Render(lines);
    ASSERT_EQ(lines.size(), 3u);
    const std::string expected = "| " + std::string(static_cast<size_t>(c.before), ' ') + "x" +
                                 std::string(static_cast<size_t>(c.width - c.before), ' ') + " |";
    EXPECT_EQ(lines[2], expected) << "free " << c.width;
  }
}

TEST(TSReport, TitleBordersDependOnThePreviousRow) {
  TSReport table;
  table.AddRow().Cell(0).Text = "a";               // first row: border before
  table.AddRow(TSReport::kTitle).Text = "t1";      // row before had a border before: none
  table.AddRow(TSReport::kTitle).Text = "t2";      // row before had none: border before
  TSReportItem& wide = table.AddRow();
  wide.Cell(1).Text = "bc";                        // cells 0..1 created, the table grows
  TStringList lines;
  table.Render(lines);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], "|" + std::string(lines[1].size() - 2, '-') + "|");
  EXPECT_EQ(lines[1], "| a |    |");
  EXPECT_EQ(lines[2], "| t1     |");
  EXPECT_EQ(lines[3], lines[0]);
  EXPECT_EQ(lines[4], lines[0]);
  EXPECT_EQ(lines[5], "| t2     |");
  EXPECT_EQ(lines[6], lines[0]);
  EXPECT_EQ(lines[7], "|   | bc |");  // a plain row after a title: no border of its own
}

TEST(TSReport, EmptyTableAndTitleLongerThanTheColumns) {
  TSReport empty;
  TStringList lines;
  empty.Render(lines);
  EXPECT_TRUE(lines.empty());

  TSReport table;
  table.AddRow(TSReport::kTitle).Text = "a long title";
  table.AddRow().Cell(0).Text = "x";
  lines.clear();
  table.Render(lines);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "| a long title |");  // never cut, never padded below zero
  EXPECT_EQ(lines[3], "| x |");
}

}  // namespace
}  // namespace kv
