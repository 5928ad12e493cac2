#pragma once
// The table-row shapes the main page and the drive pages share:
//
//   <TR><TD class="FCI FTC nw">Model:</TD><TD class="FCI FTC nw" width="100%">ST4000</TD></TR>
//
// Pure functions; any thread.
#include <cstdint>
#include <string>
#include <string_view>

#include "pages/format_helpers.h"

namespace kv {

// The opening of every row of the two-column tables.
inline constexpr std::string_view kRowOpen = "<TR><TD class=\"FCI FTC nw\">";

using TEscape = std::string (*)(std::string_view);

// A label/value row with the value HTML-escaped; empty when the value is empty.
std::string ValueRow(std::string_view label, std::string_view value, TEscape escape = HtmlEscape);
// The same with the value in bold.
std::string BoldValueRow(std::string_view label, std::string_view value, TEscape escape = HtmlEscape);
// A label/value row whose value is already HTML (not escaped); empty when it is empty.
std::string HtmlValueRow(std::string_view label, std::string_view html);
std::string HeaderRow(std::string_view title);
std::string SpacerRow();
// Statistics column: a narrow table around `rows`, "&nbsp;" when there are none.
std::string StatisticsColumn(const std::string& rows);
// A joined report value ("Key: text||||Key2: text2||||") back into rows, one per line,
// each followed by CR LF. `row_open` is the text that opens each row.
std::string DataRows(std::string_view joined, std::string_view row_open = kRowOpen);

// Local Unix seconds (as the collection's clock gives them, no zone applied) as
// "hh:nn:ss dd/mm/yyyy", the form of every time on the pages.
std::string PageTimeText(int64_t localSeconds);
// The stamp of the page footers and drive pages: the time the page was made, passed in
// so that a page depends on its inputs only.
inline std::string PageTimeStamp(int64_t local_seconds) { return PageTimeText(local_seconds); }
// "<SPAN style="font-size: 10px">Updated: ...<br>version: ...</SPAN>"
std::string FooterLine(std::string_view updated, std::string_view version);

}  // namespace kv
