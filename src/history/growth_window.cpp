#include "history/growth_window.h"

#include <algorithm>

namespace kv {
namespace {

constexpr int64_t kDay = 24 * 3600;

}  // namespace

std::string GrowthText(const TGrowth& g) {
  const int64_t days = std::max<int64_t>(1, (g.Until - g.Since + kDay - 1) / kDay);
  return std::string(KeptDriveValues()[g.Value].Label) + " grew from " + std::to_string(g.From) + " to " +
         std::to_string(g.To) + " in " + std::to_string(days) + (days == 1 ? " day" : " days");
}

void TGrowthWindow::Add(const THistorySample& sample) {
  for (const TDriveSample& d : sample.Drives) AddPoint(d.Drive, sample.Time, d.Values);
}

void TGrowthWindow::Add(const TStoredDriveRow& row) { AddPoint(row.Drive, row.Time, row.Values); }

void TGrowthWindow::AddPoint(const std::string& drive, int64_t time,
                             const std::array<std::optional<int64_t>, kKeptDriveValueCount>& values) {
  TPoint point;
  point.Time = time;
  const auto kept = KeptDriveValues();
  for (size_t i = 0; i < kKeptDriveValueCount; ++i)
    point.Values[i] = kept[i].Predictive && values[i] ? *values[i] : kAbsent;
  Append(drives_[drive], point);
}

void TGrowthWindow::TakeEarlier(TGrowthWindow&& earlier) {
  for (auto& [drive, older] : earlier.drives_) {
    std::vector<TPoint> newer = std::move(drives_[drive]);
    std::vector<TPoint>& points = drives_[drive];
    points = std::move(older);
    for (const TPoint& point : newer) Append(points, point);
  }
}

void TGrowthWindow::Append(std::vector<TPoint>& points, const TPoint& point) {
  if (!points.empty() && point.Time <= points.back().Time) return;
  const size_t n = points.size();
  // The last point only says the values still held then: a newer one says so too.
  if (n >= 2 && points[n - 1].Values == points[n - 2].Values) {
    if (point.Values == points[n - 1].Values) {
      points[n - 1].Time = point.Time;
      return;
    }
    points.pop_back();
  }
  points.push_back(point);
  if (points.size() <= kGrowthPointsPerDrive) return;
  // A value that changes at every sample: leave out the oldest point that lies on the way
  // between its neighbours for every value, which changes no drop and neither end; else the
  // oldest after the first.
  const auto between = [&points](size_t i) {
    for (size_t k = 0; k < kKeptDriveValueCount; ++k) {
      const int64_t a = points[i - 1].Values[k], b = points[i].Values[k], c = points[i + 1].Values[k];
      if ((a == kAbsent) != (b == kAbsent) || (b == kAbsent) != (c == kAbsent) || a > b || b > c) return false;
    }
    return true;
  };
  size_t drop = 1;
  for (size_t i = 1; i + 1 < points.size(); ++i)
    if (between(i)) {
      drop = i;
      break;
    }
  points.erase(points.begin() + static_cast<std::ptrdiff_t>(drop));
}

void TGrowthWindow::Prune(int64_t now) {
  start_ = now - kGrowthWindowSeconds;
  for (auto it = drives_.begin(); it != drives_.end();) {
    std::vector<TPoint>& points = it->second;
    if (points.empty() || points.back().Time < start_) {
      it = drives_.erase(it);
      continue;
    }
    size_t old = 0;  // points before the one in effect at the start
    while (old + 1 < points.size() && points[old + 1].Time <= start_) ++old;
    points.erase(points.begin(), points.begin() + static_cast<std::ptrdiff_t>(old));
    ++it;
  }
}

size_t TGrowthWindow::PointCount(const std::string& drive) const {
  const auto it = drives_.find(drive);
  return it == drives_.end() ? 0 : it->second.size();
}

std::vector<TGrowth> TGrowthWindow::GrowthOf(const std::string& drive) const {
  std::vector<TGrowth> grown;
  const auto it = drives_.find(drive);
  if (it == drives_.end()) return grown;
  for (size_t k = 0; k < kKeptDriveValueCount; ++k) {
    bool seen = false;
    TGrowth g;
    g.Value = k;
    for (const TPoint& p : it->second) {
      const int64_t v = p.Values[k];
      if (v == kAbsent) continue;
      if (!seen || v < g.To) {  // the first reading, or a reset
        g.From = v;
        g.Since = p.Time;
      }
      seen = true;
      g.To = v;
      g.Until = p.Time;
    }
    if (!seen || g.To <= g.From) continue;
    g.Since = std::max(g.Since, start_);
    grown.push_back(g);
  }
  return grown;
}

void AddGrowthReasons(const TGrowthWindow& window, const TKVCore& core, int controller, THealthVerdict& verdict,
                      std::vector<std::string>* texts) {
  if (texts != nullptr) texts->assign(static_cast<size_t>(core.Result.HDDs.Count()), std::string());
  if (window.DriveCount() == 0) return;
  const std::vector<std::string> keys = DriveHistoryKeys(core, controller);
  for (int i = 0; i < core.Result.HDDs.Count(); ++i) {
    const std::vector<TGrowth> grown = window.GrowthOf(keys[static_cast<size_t>(i)]);
    if (grown.empty()) continue;
    const TResultHDD& d = core.Result.HDDs.Item(i);
    for (const TGrowth& g : grown) {
      std::string text = GrowthText(g);
      if (texts != nullptr) {
        std::string& all = (*texts)[static_cast<size_t>(i)];
        all += (all.empty() ? "" : ", ") + text;
      }
      verdict.Reasons.push_back({THealth::Warning, DriveObject(d), DriveLink(d), std::move(text)});
    }
    verdict.Level = std::max(verdict.Level, THealth::Warning);
  }
}

}  // namespace kv
