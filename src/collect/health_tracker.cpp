#include "collect/health_tracker.h"

#include "base/local_time_text.h"
#include "health/verdict.h"
#include "model/kv_core.h"

namespace kv {

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

void THealthTracker::ForgetLastGood() {
  last_good_.reset();
  last_good_report_ = TMemIniFile();
}

void THealthTracker::KeepGood(std::unique_ptr<TKVCore> core, TMemIniFile report, int64_t now, TJudged* judged) {
  last_good_ = std::move(core);
  last_good_report_ = std::move(report);
  last_good_time_ = now;
  if (judged != nullptr) {
    judged->Shown = last_good_.get();
    judged->ShownReport = &last_good_report_;
  }
}

}  // namespace kv
