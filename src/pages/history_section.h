#pragma once
// The History section of a drive page: for each kept value, one small chart per range
// (7 days, 90 days, the whole history) drawn here as inline SVG, no script and no library,
// with the value's last reading and its change over 24 hours and 30 days beside them, and
// a fixed-width text copy behind "as text" like the SMART table's.
//
//   temperature: last 36, 24 h +1, 30 days -2
//   [7 days]  [90 days]  [whole history]     each: min/max on the left, first/last date below
//
// Temperature (AlwaysCharted) is always shown; any other value only in the ranges where it
// is not zero somewhere. A range of one sample still draws its one point. The 7- and 90-day
// axes end now (samples before their start are not drawn); the whole history's runs from
// its first sample. Dates are local (the zone bias applied to the UTC times). Each chart's
// <title> says its range, extremes, dates and sample count for screen readers and tooltips.
// The section is one row of the drive page's two-column table; the page's style sheet
// (tpl_header.txt, ".hist-...") sizes the charts so they shrink on phones. Every text is
// escaped.
//
// Pure functions; any thread (the history writer's renders it).
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "history/history_store.h"

namespace kv {

// One kept value of one drive, as the writer read it from the store.
struct THistoryChartInput {
  size_t ValueIndex = 0;  // into KeptDriveValues()
  // 7 days, 90 days, the whole history; oldest first, at most ~300 points each
  std::array<std::vector<TSeriesPoint>, 3> Ranges;
  std::optional<int64_t> Last;    // the newest value
  std::optional<int64_t> Ago24h;  // the value 24 h before the newest sample (the newest at or before then)
  std::optional<int64_t> Ago30d;  // the same 30 days before
};

// The rendered History sections, by drive key (DriveHistoryKeys), as the drive pages take them.
using THistorySections = std::map<std::string, std::string>;

// The section of one drive: HTML with one small SVG chart per value and range; empty when
// no value has anything to show. `now_utc` ends the 7- and 90-day ranges; `zone_bias_minutes`
// is what to add to local time for UTC (platform::ZoneBiasMinutes).
std::string RenderHistorySection(const std::vector<THistoryChartInput>& values, int64_t now_utc,
                                 int zone_bias_minutes);

}  // namespace kv
