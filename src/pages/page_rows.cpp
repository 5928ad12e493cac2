#include "pages/page_rows.h"

#include <cstdio>

#include "base/local_time_text.h"
#include "pages/format_helpers.h"
#include "pages/template_engine.h"
#include "base/text_helpers.h"

namespace kv {
namespace {

constexpr std::string_view kValueCell = ":</TD><TD class=\"FCI FTC nw\" width=\"100%\">";

std::string TrimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

}  // namespace

std::string HtmlValueRow(std::string_view label, std::string_view html) {
  if (html.empty()) return std::string();
  std::string row(kRowOpen);
  row.append(label).append(kValueCell).append(html).append("</TD></TR>");
  return row;
}

std::string ValueRow(std::string_view label, std::string_view value, TEscape escape) {
  return value.empty() ? std::string() : HtmlValueRow(label, escape(value));
}

std::string BoldValueRow(std::string_view label, std::string_view value, TEscape escape) {
  return value.empty() ? std::string() : HtmlValueRow(label, "<b>" + escape(value) + "</b>");
}

std::string HeaderRow(std::string_view title) {
  return "<TR><TD class=\"FCI FTC nw\" colspan=\"2\"><b>" + std::string(title) + "</b></TD></TR>";
}

std::string SpacerRow() { return "<TR><TD class=\"FCI FTC nw\" colspan=\"2\">&nbsp;</TD></TR>"; }

std::string StatisticsColumn(const std::string& rows) {
  return "<TABLE cellSpacing=\"0\" cellPadding=\"0\" width=\"10%\" border=\"0\"><TBODY>" +
         (rows.empty() ? std::string("&nbsp;") : rows) + "</TBODY></TABLE>";
}

std::string DataRows(std::string_view joined, std::string_view row_open) {
  const std::string text = ReplaceString(joined, "||||", "\r\n");
  std::string rows;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = FindLineBreak(text, pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + pos, end - pos);
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    pos = end + 1;
    const size_t colon = line.find(": ");
    const std::string key = TrimSpaces(colon == std::string_view::npos ? line : line.substr(0, colon));
    const std::string value = TrimSpaces(colon == std::string_view::npos ? line : line.substr(colon + 2));
    rows.append(row_open).append(HtmlEscape(key)).append(kValueCell).append(HtmlEscape(value));
    rows.append("</TD></TR>\r\n");
  }
  return rows;
}

std::string PageTimeText(int64_t localSeconds) {
  const TCivilTime t = CivilTime(localSeconds);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%02lld:%02lld:%02lld %02lld/%02lld/%04lld", static_cast<long long>(t.hour),
                static_cast<long long>(t.minute), static_cast<long long>(t.second), static_cast<long long>(t.day),
                static_cast<long long>(t.month), static_cast<long long>(t.year));
  return buffer;
}

std::string FooterLine(std::string_view updated, std::string_view version) {
  return "<SPAN style=\"font-size: 10px\">Updated: " + HtmlEscape(updated) + "<br>version: " +
         HtmlEscape(version) + "</SPAN>";
}

}  // namespace kv
