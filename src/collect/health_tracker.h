#pragma once
// THealthTracker: the health side of the collection cycle.
//
// Each cycle it judges the model (SMART verdict per drive, the verdict with its reasons),
// works out what changed since the last good cycle, and, when collection fails, points the
// pages at the last good model under a warning that says why and since when. A failed
// collection is never compared: it gives one "collection failing" change and the last good
// state stays the base, so drives do not "disappear" when the utility hangs.
//
// Threads: the collecting thread only.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/ini_file.h"
#include "health/changes.h"
#include "pages/health_view.h"

namespace kv {

class TKVCore;

class THealthTracker {
 public:
  explicit THealthTracker(int temperatureMax = DefaultDriveTemperatureMax()) : temperature_max_(temperatureMax) {}

  void SetTemperatureMax(int celsius) { temperature_max_ = celsius; }

  // The state saved by an earlier run. Without one (`loaded` false) the first good cycle
  // tells no changes; `firstRun` (nothing was ever saved) makes it tell its verdict alone.
  void StartFrom(bool loaded, const TStateSnapshot& saved, bool firstRun);

  struct TJudged {
    TKVCore* Shown = nullptr;                 // the model the pages show
    const TMemIniFile* ShownReport = nullptr;  // and its state report
    THealthView View;                          // Recent and ChangeTotals are left to the caller
    std::vector<TChange> Changes;
    bool TellFirstVerdict = false;  // the very first run: the verdict, no changes
    bool Good = false;              // this cycle's model is good (becomes the base)
  };

  // `failure` is empty for a good collection, else what went wrong: "config source timed
  // out". `core` and `report` are this cycle's; `now` local Unix seconds.
  TJudged Judge(TKVCore& core, const TMemIniFile& report, const std::string& failure, int64_t now);

  // Frees the last good model and its report, as a good cycle does before its own are kept.
  void ForgetLastGood();
  // The last good model while it is held, else null.
  TKVCore* LastGood() const { return last_good_.get(); }

  // A good cycle's model becomes the last good one, and the one before it is freed. With
  // `judged` (that cycle's), what it shows is pointed at the kept copies.
  void KeepGood(std::unique_ptr<TKVCore> core, TMemIniFile report, int64_t now, TJudged* judged = nullptr);

  // The state of the last good cycle, as it is saved.
  const TStateSnapshot& Base() const { return base_; }
  // Whether there is one (a good cycle or a saved state).
  bool HasBase() const { return have_base_; }

 private:
  int temperature_max_;
  bool have_base_ = false;
  bool first_run_ = false;
  bool failing_ = false;
  TStateSnapshot base_;
  std::unique_ptr<TKVCore> last_good_;
  TMemIniFile last_good_report_;
  int64_t last_good_time_ = 0;
};

}  // namespace kv
