#include "pages/history_section.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <span>
#include <string_view>

#include "base/local_time_text.h"
#include "history/history_values.h"
#include "pages/format_helpers.h"
#include "pages/ts_report.h"

namespace kv {
namespace {

constexpr int64_t kDay = 86400;
constexpr const char* kRangeNames[] = {"7 days", "90 days", "whole history"};
constexpr int64_t kRangeSeconds[] = {7 * kDay, 90 * kDay, 0};  // 0: from the first sample
constexpr int64_t kTimeLimit = int64_t{1} << 62;  // an axis end far from overflow, whatever a file holds

// Chart geometry, in viewBox units. The left gutter holds the min/max labels and grows with
// them; a digit at font-size 10 is under 6 units wide.
constexpr int kWidth = 300, kHeight = 110;
constexpr int kRight = 294;
constexpr int kTop = 20, kBottom = 84;  // the max and min grid lines
constexpr int kDateLine = 102;

// "+16", "0", "-2"; "-" when either side is unknown. Unsigned, so no pair of int64 overflows.
std::string ChangeText(std::optional<int64_t> last, std::optional<int64_t> before) {
  if (!last || !before) return "-";
  if (*last == *before) return "0";
  const uint64_t a = static_cast<uint64_t>(*last), b = static_cast<uint64_t>(*before);
  return *last > *before ? "+" + std::to_string(a - b) : "-" + std::to_string(b - a);
}

std::string ValueText(std::optional<int64_t> value) { return value ? std::to_string(*value) : std::string("-"); }

// "2026-12-03" in local time. Times outside years 1..9999 are pinned to them (a damaged
// file's nonsense must still give a date).
std::string DateText(int64_t utc, int zone_bias_minutes) {
  constexpr int64_t kFirst = -62135596800, kLast = 253402300799;
  const int64_t local = std::clamp(utc, kFirst + 86400, kLast - 86400) - int64_t{zone_bias_minutes} * 60;
  const TCivilTime t = CivilTime(local);
  char text[32];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld", static_cast<long long>(t.year),
                static_cast<long long>(t.month), static_cast<long long>(t.day));
  return text;
}

// Tenths of a unit as "123.4" (or "123" when whole): short points, enough for a pixel.
void AppendTenths(std::string& out, long tenths) {
  if (tenths < 0) out += '-', tenths = -tenths;
  out += std::to_string(tenths / 10);
  if (tenths % 10 != 0) out.append(1, '.').append(1, static_cast<char>('0' + tenths % 10));
}

struct TRangeView {
  bool Shown = false;
  std::vector<TSeriesPoint> Points;  // those inside the time axis
  int64_t From = 0, To = 0;          // the time axis
  int64_t First = 0;                 // the oldest sample
  int64_t Min = 0, Max = 0;
};

struct TValueView {
  const TKeptValue* Kept = nullptr;
  const THistoryChartInput* Input = nullptr;
  std::array<TRangeView, 3> Ranges;
};

// Which ranges of `input` are drawn, and their axes; false when none is. The 7- and 90-day
// axes end at `end`; the whole history's runs from the first sample, over a day at least, so
// that a first sample sits at the right edge like every newest one.
bool ViewOf(const THistoryChartInput& input, int64_t end, TValueView& view) {
  const std::span<const TKeptValue> kept = KeptDriveValues();
  if (input.ValueIndex >= kept.size()) return false;
  view.Kept = &kept[input.ValueIndex];
  view.Input = &input;
  bool any = false;
  for (size_t r = 0; r < 3; ++r) {
    TRangeView& range = view.Ranges[r];
    range.To = end;
    range.From = end - (kRangeSeconds[r] != 0 ? kRangeSeconds[r] : kDay);
    for (const TSeriesPoint& p : input.Ranges[r]) {
      if (kRangeSeconds[r] == 0) range.From = std::min(range.From, p.Time);
      else if (p.Time < range.From) continue;  // the writer's range may end before now
      range.First = range.Points.empty() ? p.Time : std::min(range.First, p.Time);
      range.Min = range.Points.empty() ? p.Value : std::min(range.Min, p.Value);
      range.Max = range.Points.empty() ? p.Value : std::max(range.Max, p.Value);
      range.Points.push_back(p);
    }
    // A counter's empty range counts as all zero.
    range.Shown = view.Kept->AlwaysCharted || range.Min != 0 || range.Max != 0;
    any = any || range.Shown;
  }
  return any;
}

// "temperature, 7 days: 34 to 38, 2026-12-03 to 2026-12-10, 168 samples"
std::string ChartTitle(const TValueView& value, size_t r, int zone_bias_minutes) {
  const TRangeView& range = value.Ranges[r];
  std::string title = std::string(value.Kept->Label) + ", " + kRangeNames[r] + ": ";
  if (range.Points.empty()) return title + "no samples";
  title += range.Min == range.Max ? std::to_string(range.Min)
                                  : std::to_string(range.Min) + " to " + std::to_string(range.Max);
  title += ", " + DateText(range.From, zone_bias_minutes) + " to " + DateText(range.To, zone_bias_minutes) + ", " +
           std::to_string(range.Points.size()) + (range.Points.size() == 1 ? " sample" : " samples");
  return title;
}

void AppendText(std::string& out, int x, int y, const char* anchor, std::string_view text) {
  out.append("<text x=\"").append(std::to_string(x)).append("\" y=\"").append(std::to_string(y)).append("\"");
  if (anchor != nullptr) out.append(" text-anchor=\"").append(anchor).append("\"");
  out.append(">");
  AppendHtmlEscapedAll(out, text);
  out.append("</text>");
}

void AppendChart(std::string& out, const TValueView& value, size_t r, int zone_bias_minutes) {
  const TRangeView& range = value.Ranges[r];
  const std::vector<TSeriesPoint>& points = range.Points;
  out.append("<svg viewBox=\"0 0 ").append(std::to_string(kWidth)).append(" ").append(std::to_string(kHeight));
  out.append("\" width=\"100%\" role=\"img\" font-size=\"10\" fill=\"#475569\"><title>");
  AppendHtmlEscapedAll(out, ChartTitle(value, r, zone_bias_minutes));
  out.append("</title>");
  const std::string low = std::to_string(range.Min), high = std::to_string(range.Max);
  const int left = std::clamp(static_cast<int>(std::max(low.size(), high.size())) * 6 + 8, 20, 130);
  out.append("<text x=\"").append(std::to_string(left)).append("\" y=\"11\" font-weight=\"600\" fill=\"#0f172a\">");
  out.append(kRangeNames[r]).append("</text>");
  if (points.empty()) {
    AppendText(out, (left + kRight) / 2, (kTop + kBottom) / 2 + 4, "middle", "no samples");
    out.append("</svg>");
    return;
  }
  const bool flat = range.Min == range.Max;
  const int middle = (kTop + kBottom) / 2;
  out.append("<path d=\"");
  for (int y : {kTop, kBottom}) {
    if (flat && y == kBottom) break;
    out.append("M").append(std::to_string(left)).append(" ").append(std::to_string(flat ? middle : y));
    out.append("H").append(std::to_string(kRight));
  }
  out.append("\" stroke=\"#e2e8f0\" fill=\"none\"/>");
  if (flat) {
    AppendText(out, left - 4, middle + 3, "end", high);
  } else {
    AppendText(out, left - 4, kTop + 3, "end", high);
    AppendText(out, left - 4, kBottom + 3, "end", low);
  }
  AppendText(out, left, kDateLine, nullptr, DateText(range.From, zone_bias_minutes));
  AppendText(out, kRight, kDateLine, "end", DateText(range.To, zone_bias_minutes));

  // In doubles: a damaged file's extremes must not overflow.
  const double span = static_cast<double>(range.To) - static_cast<double>(range.From);
  const double scale = static_cast<double>(range.Max) - static_cast<double>(range.Min);
  const auto x_of = [&](const TSeriesPoint& p) {
    const double at = span > 0 ? (static_cast<double>(p.Time) - static_cast<double>(range.From)) / span : 1.0;
    return std::lround((left + std::clamp(at, 0.0, 1.0) * (kRight - left)) * 10);
  };
  const auto y_of = [&](const TSeriesPoint& p) {
    const double at = flat ? 0.5 : (static_cast<double>(p.Value) - static_cast<double>(range.Min)) / scale;
    return std::lround((kBottom - at * (kBottom - kTop)) * 10);
  };
  if (points.size() > 1) {
    out.append("<polyline points=\"");
    long previous_y = 0;
    for (size_t i = 0; i < points.size(); ++i) {
      const long y = y_of(points[i]);
      // The inner points of a level run add nothing to the line; counters are mostly level.
      if (i > 0 && i + 1 < points.size() && y == previous_y && y == y_of(points[i + 1])) continue;
      if (i > 0) out += ' ';
      AppendTenths(out, x_of(points[i]));
      out += ',';
      AppendTenths(out, y);
      previous_y = y;
    }
    out.append("\" fill=\"none\" stroke=\"#2563eb\" stroke-width=\"1.5\" stroke-linejoin=\"round\"/>");
  }
  // The newest point, marked; alone it is the whole chart.
  out.append("<circle cx=\"");
  AppendTenths(out, x_of(points.back()));
  out.append("\" cy=\"");
  AppendTenths(out, y_of(points.back()));
  out.append("\" r=\"2.5\" fill=\"#2563eb\"/></svg>");
}

// The text copy's cell for a range: "34 .. 38", "16" when level, "-" when left out.
std::string RangeText(const TRangeView& range) {
  if (!range.Shown || range.Points.empty()) return "-";
  if (range.Min == range.Max) return std::to_string(range.Min);
  return std::to_string(range.Min) + " .. " + std::to_string(range.Max);
}

void AppendTextCopy(const std::vector<TValueView>& views, int zone_bias_minutes, std::string& out) {
  TSReport table;
  table.AddRow(TSReport::kTitle).Text = "History";
  TSReportItem& header = table.AddRow();
  const char* headings[] = {"Value", "Last", "24 h", "30 days", "7 days", "90 days", "Whole history", "Since"};
  for (int c = 0; c < 8; ++c) header.Cell(c).Text = headings[c];
  table.SetKind(header, TSReport::kBorderAfter);
  for (const TValueView& view : views) {
    const THistoryChartInput& input = *view.Input;
    TSReportItem& row = table.AddRow();
    row.Cell(0).Text = view.Kept->Label;
    row.Cell(1).Text = ValueText(input.Last);
    row.Cell(2).Text = ChangeText(input.Last, input.Ago24h);
    row.Cell(3).Text = ChangeText(input.Last, input.Ago30d);
    for (size_t r = 0; r < 3; ++r) row.Cell(4 + static_cast<int>(r)).Text = RangeText(view.Ranges[r]);
    const TRangeView& whole = view.Ranges[2];
    row.Cell(7).Text = whole.Shown && !whole.Points.empty() ? DateText(whole.First, zone_bias_minutes) : "-";
    for (int c = 1; c < 8; ++c) row.Cell(c).Align = TSAlign::kRight;
    if (&view == &views.back()) table.SetKind(row, TSReport::kBorderAfter);
  }
  out.append(" &nbsp;<br>");
  AppendTextTableHtml(table, out);
  out.append(" &nbsp;");
}

}  // namespace

std::string RenderHistorySection(const std::vector<THistoryChartInput>& values, int64_t now_utc,
                                 int zone_bias_minutes) {
  // The 7- and 90-day ranges end now, or at the newest sample should the clock be behind it.
  int64_t end = now_utc;
  for (const THistoryChartInput& input : values)
    for (const std::vector<TSeriesPoint>& points : input.Ranges)
      for (const TSeriesPoint& p : points) end = std::max(end, p.Time);
  end = std::clamp(end, -kTimeLimit, kTimeLimit);
  std::vector<TValueView> views;
  views.reserve(values.size());
  for (const THistoryChartInput& input : values)
    if (TValueView view; ViewOf(input, end, view)) views.push_back(view);
  if (views.empty()) return std::string();

  std::string out;
  out.reserve(views.size() * 12000);
  out.append(
      "<TR><TD class=\"FCI FTC\" colspan=\"2\">\r\n"
      "<div class=\"card-head clickable\" onclick=\"toggle_collapse('c_hist')\"><img src=\"img_tbl.png\" width=\"16\" "
      "height=\"16\" alt=\"\">History<span class=\"tools\"><a href=\"javascript:toggle_collapse('c_hist_txt')\" "
      "onclick=\"event.stopPropagation()\"><img src=\"pen.png\" width=\"16\" height=\"16\" alt=\"\"> as "
      "text</a></span></div>\r\n<div id=\"c_hist\" class=\"hist\">\r\n");
  for (const TValueView& view : views) {
    const THistoryChartInput& input = *view.Input;
    out.append("<div class=\"hist-head\"><b>");
    AppendHtmlEscapedAll(out, view.Kept->Label);
    out.append("</b>: last ").append(ValueText(input.Last));
    out.append(", 24 h ").append(ChangeText(input.Last, input.Ago24h));
    out.append(", 30 days ").append(ChangeText(input.Last, input.Ago30d)).append("</div>\r\n<div class=\"hist-charts\">");
    for (size_t r = 0; r < 3; ++r)
      if (view.Ranges[r].Shown) AppendChart(out, view, r, zone_bias_minutes);
    out.append("</div>\r\n");
  }
  out.append("</div>\r\n<div id=\"c_hist_txt\" class=\"mono\" style=\"display:none\">");
  AppendTextCopy(views, zone_bias_minutes, out);
  out.append("</div>\r\n</TD></TR>");
  return out;
}

}  // namespace kv
