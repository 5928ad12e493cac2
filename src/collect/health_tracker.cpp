#include "collect/health_tracker.h"

#include <cstdio>

#include "health/verdict.h"
#include "model/kv_core.h"

namespace kv {

std::string LocalTimeText(int64_t localSeconds) {
  // Days since 1970-01-01 to a civil date (proleptic Gregorian).
  int64_t days = localSeconds / 86400;
  int64_t rest = localSeconds % 86400;
  if (rest < 0) rest += 86400, --days;
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2);
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(rest / 3600),
                static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
  return text;
}

void THealthTracker::StartFrom(bool loaded, const TStateSnapshot& saved, bool firstRun) {
  have_base_ = loaded;
  if (loaded) base_ = saved;
  first_run_ = firstRun;
}

THealthTracker::TJudged THealthTracker::Judge(TKVCore& core, const TMemIniFile& report, const std::string& failure,
                                              int64_t now) {
  TJudged out;
  out.Shown = &core;
  out.ShownReport = &report;
  out.View.CollectedAt = now;
  if (!failure.empty() && last_good_ != nullptr) {
    out.Shown = last_good_.get();
    out.ShownReport = &last_good_report_;
    out.View.CollectedAt = last_good_time_;
    out.View.StaleWarning = "The " + failure + " at " + LocalTimeText(now) + ". The data shown was collected at " +
                            LocalTimeText(last_good_time_) + ".";
  }
  out.View.Drives = JudgeDrives(*out.Shown, temperature_max_);
  out.View.Verdict = JudgeHealth(*out.Shown, out.View.Drives, failure.empty() ? std::string() : "the " + failure);

  if (!failure.empty()) {
    if (!failing_) out.Changes.push_back(CollectionFailingChange(failure));
    failing_ = true;
    return out;
  }
  out.Good = true;
  TStateSnapshot now_state = TakeSnapshot(core, out.View.Drives);
  if (have_base_) {
    out.Changes = CompareSnapshots(base_, now_state);
  } else if (first_run_) {
    out.TellFirstVerdict = true;
  }
  if (failing_) out.Changes.push_back(CollectionRecoveredChange());
  failing_ = false;
  first_run_ = false;
  have_base_ = true;
  base_ = std::move(now_state);
  return out;
}

void THealthTracker::KeepGood(std::unique_ptr<TKVCore> core, const TMemIniFile& report, int64_t now) {
  last_good_ = std::move(core);
  last_good_report_ = report;
  last_good_time_ = now;
}

}  // namespace kv
