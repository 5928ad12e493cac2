#pragma once
// Chart inputs as the history writer builds them, for the History section's tests and its
// benchmark: one value sampled at a fixed step, each range cut to at most `max_points`
// points the way the store does it (the largest value of each of equal spans of time).
#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "pages/history_section.h"

namespace kv::test {

inline std::vector<TSeriesPoint> Downsampled(const std::vector<TSeriesPoint>& all, int64_t from, int64_t to,
                                             size_t max_points) {
  std::vector<TSeriesPoint> in;
  for (const TSeriesPoint& p : all)
    if (p.Time >= from && p.Time <= to) in.push_back(p);
  if (in.size() <= max_points) return in;
  std::vector<TSeriesPoint> out;
  const int64_t span = (to - from) / static_cast<int64_t>(max_points) + 1;
  int64_t bucket = -1;
  for (const TSeriesPoint& p : in) {
    if ((p.Time - from) / span != bucket) {
      bucket = (p.Time - from) / span;
      out.push_back(p);
    } else if (p.Value > out.back().Value) {
      out.back() = p;
    }
  }
  return out;
}

// Value `index` sampled every `step` seconds from `first` to `last`, as its chart input.
inline THistoryChartInput SampledInput(size_t index, int64_t first, int64_t last,
                                       const std::function<int64_t(int64_t)>& value, int64_t step = 3600,
                                       size_t max_points = 300) {
  std::vector<TSeriesPoint> all;
  for (int64_t t = first; t <= last; t += step) all.push_back({t, value(t)});
  THistoryChartInput input;
  input.ValueIndex = index;
  const int64_t newest = all.back().Time;
  const int64_t from[] = {newest - 7 * 86400, newest - 90 * 86400, all.front().Time};
  for (size_t r = 0; r < 3; ++r) input.Ranges[r] = Downsampled(all, from[r], newest, max_points);
  const auto at = [&all](int64_t time) {
    std::optional<int64_t> found;
    for (const TSeriesPoint& p : all)
      if (p.Time <= time) found = p.Value;
    return found;
  };
  input.Last = all.back().Value;
  input.Ago24h = at(newest - 86400);
  input.Ago30d = at(newest - 30 * 86400);
  return input;
}

}  // namespace kv::test
