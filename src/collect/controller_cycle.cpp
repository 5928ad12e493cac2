#include "collect/controller_cycle.h"

#include <algorithm>

#include "base/local_time_text.h"
#include "health/verdict.h"
#include "model/kv_core.h"
#include "model/smart_names.h"
#include "pages/drive_page.h"
#include "pages/drive_page_cache.h"
#include "pages/main_page.h"
#include "pages/page_rows.h"
#include "parse/build_result.h"
#include "parse/controller_count.h"
#include "parse/smart_parser.h"
#include "parse/stats_parser.h"
#include "parse/task_parser.h"
#include "report/state_json.h"
#include "report/state_report.h"

namespace kv {
namespace {

constexpr size_t kRecentChanges = 50;

// Where the reason for unwatched controllers points: the README's section on them.
constexpr char kSeveralControllersHelp[] = "https://www.korvane.example/support/README.md#several-controllers";

// What went wrong with source `index`: "config source timed out"; empty when it went well.
std::string SourceFailure(int index, SourceStatus status) {
  const std::string source = std::string(SourceName(index)) + " source ";
  switch (status) {
    case SourceStatus::kOk: break;
    case SourceStatus::kEmpty: return source + "came back empty";
    case SourceStatus::kFailed: return source + "failed";
    case SourceStatus::kTimedOut: return source + "timed out";
    case SourceStatus::kCapped: return source + "was capped";
    case SourceStatus::kIncomplete:
      return source + (index == kSourceConfig ? "gave an incomplete listing" : "gave an incomplete document");
  }
  return std::string();
}

// Why a collection cannot be compared or shown as fresh; empty when it can.
std::string CollectionFailure(const SourceHealth& config, const TKVCore& core) {
  if (config.Status != SourceStatus::kOk) return SourceFailure(kSourceConfig, config.Status);
  if (core.ControllerInfo.Count() == 0) return "config listing names no controller";
  return std::string();
}

// The SMART lists of `from` become those of `to` (the rest of `to` is this cycle's).
void MoveSmartLists(TKVCore& from, TKVCore& to) {
  to.SASSmart = std::move(from.SASSmart);
  to.SATASmart = std::move(from.SATASmart);
  to.SATASmartParams = std::move(from.SATASmartParams);
  to.SASSmartParams = std::move(from.SASSmartParams);
  to.SmartDescNames = std::move(from.SmartDescNames);
}

// This cycle's changes after the ones told before, at most `limit` lines, oldest first.
std::vector<TChangeLine> RecentWith(std::vector<TChangeLine> recent, const std::vector<TChange>& changes, int64_t now,
                                    size_t limit) {
  for (const TChange& c : changes) recent.push_back({now, c.Severity, c.Text});
  if (recent.size() > limit) recent.erase(recent.begin(), recent.end() - static_cast<std::ptrdiff_t>(limit));
  return recent;
}

// A Warning reason for SMART data kept from an earlier cycle because this one's document
// could not be read whole (`failure`: "smart source timed out").
void AddStaleSmartReason(THealthVerdict& verdict, const std::string& failure, int64_t now, int64_t collected_at) {
  std::string text = "the " + failure + " at " + LocalTimeText(now) + "; ";
  text += collected_at > 0 ? "the SMART data shown was collected at " + LocalTimeText(collected_at)
                           : "no SMART data is shown";
  // Beside the collection's own reasons, ahead of the devices'.
  verdict.Reasons.insert(verdict.Reasons.begin(), {THealth::Warning, "SMART data", "#controller", std::move(text)});
  if (verdict.Level == THealth::OK) verdict.Level = THealth::Warning;
}

// A controller the utility reports and nobody watches can fail unseen.
void AddUnwatchedReason(THealthVerdict& verdict, int reported, int watched) {
  if (reported <= watched) return;
  verdict.Reasons.insert(verdict.Reasons.begin(),
                         {THealth::Warning, "Controllers", kSeveralControllersHelp,
                          "The utility reports " + std::to_string(reported) + " controllers; " +
                              std::to_string(watched) + " watched"});
  if (verdict.Level == THealth::OK) verdict.Level = THealth::Warning;
}

// The parts of the metrics and the JSON document of the model shown.
void RenderMachineTexts(TControllerState& state, const TKVCore& shown, const TCycleHealth* cycle,
                        TCycleOutput& out) {
  out.Metrics = RenderMetricsParts(state.Number, shown, state.Health, cycle);
  // Reserved at the last entry's size and a little more: it seldom grows by doubling.
  out.StateJson = RenderStateJsonEntry(state.Number, shown, state.Health, cycle,
                                       state.StateJsonSize + state.StateJsonSize / 16);
  if (out.StateJson.capacity() - out.StateJson.size() > out.StateJson.size() / 8)
    out.StateJson.shrink_to_fit();  // held until the next cycle
  state.StateJsonSize = out.StateJson.size();
}

}  // namespace

std::string ControllerPrefix(int controller, int watched) {
  return watched > 1 ? "Controller " + std::to_string(controller) + ": " : std::string();
}

TCycleOutput RunControllerCycle(TControllerState& state, const TCycleInput& in) {
  TCycleOutput out;
  CollectionHealth& health = state.Health;
  health.Up = false;
  // A document that broke off (timed out, capped, failed, cut short) is not read: what it
  // holds would read as drives without SMART data. An empty one is read as empty.
  const auto unusable = [&health](int index) {
    const SourceHealth& source = health.Sources[static_cast<size_t>(index)];
    return source.Configured && source.Status != SourceStatus::kOk && source.Status != SourceStatus::kEmpty;
  };
  const auto text = [&in](int index) -> const std::string& { return *in.Texts[static_cast<size_t>(index)]; };
  const SourceStatus config_status = health.Sources[kSourceConfig].Status;

  auto core = std::make_unique<TKVCore>();
  core->SmartNames = in.SmartNames;
  ParseConfig(text(kSourceConfig), *core, state.Headings);
  // A listing that broke off says nothing about the count: the last one that did holds.
  if (config_status == SourceStatus::kOk) state.ReportedControllers = ReportedControllerCount(text(kSourceConfig));
  // The listing decides whether the cycle is good. A good cycle replaces the last good
  // model, which only a failed one shows: freed before the rest of this cycle's model is
  // read, two whole models are never held at once. Only its SMART lists may live on, when
  // this cycle's SMART document stops short.
  const std::string failure = CollectionFailure(health.Sources[kSourceConfig], *core);
  // A listing that broke off, with no good one to show instead, shows nothing rather
  // than a smaller controller. (An excerpt that names no controller is still shown.)
  const bool blind = !failure.empty() && state.Tracker.LastGood() == nullptr && config_status != SourceStatus::kOk;
  if (blind) {
    core = std::make_unique<TKVCore>();
    core->SmartNames = in.SmartNames;
  }
  if (failure.empty()) {
    if (unusable(kSourceSmart) && state.Tracker.LastGood() != nullptr) MoveSmartLists(*state.Tracker.LastGood(), *core);
    state.Tracker.ForgetLastGood();
  }
  if (!blind) {
    if (!text(kSourceSmart).empty() && !unusable(kSourceSmart)) {
      ParseSmart(text(kSourceSmart), *core);
      state.SmartCollectedAt = in.Now;
    }
    if (!text(kSourceTask).empty()) ParseTasks(text(kSourceTask), *core);
    if (!text(kSourceStat).empty() && !unusable(kSourceStat)) ParseLogStats(text(kSourceStat), *core);
    if (!text(kSourceCache).empty() && !unusable(kSourceCache)) ParseCacheStats(text(kSourceCache), *core);
  }
  BuildResult(*core);

  auto report = std::make_shared<std::string>();
  report->reserve(state.ReportSize);  // about the size of the last cycle's
  AppendStateReport(*core, in.Version, *report);
  report->append("\r\n[update]\r\ntime=").append(std::to_string(in.Now)).append("\r\n");
  state.ReportSize = report->size();
  // One text, served as /ini and read by the pages. A failed collection leaves the last
  // good report served, as the pages show the last good model.
  auto report_ini = std::make_unique<TMemIniFile>();
  report_ini->Load(report);
  if (failure.empty() || state.Tracker.LastGood() == nullptr) out.Report = std::move(report);

  // The verdict, and what changed since the last good cycle; when the collection failed
  // the pages show the last good model.
  THealthTracker::TJudged judged = state.Tracker.Judge(*core, *report_ini, failure, in.Now);
  if (judged.Good) {
    health.Up = true;
    health.LastSuccessUnixSeconds = in.UtcNow;
  }
  THealthVerdict& verdict = judged.View.Verdict;
  if (failure.empty() && unusable(kSourceSmart))
    AddStaleSmartReason(verdict, SourceFailure(kSourceSmart, health.Sources[kSourceSmart].Status), in.Now,
                        state.SmartCollectedAt);
  AddUnwatchedReason(verdict, state.ReportedControllers, in.ControllersWatched);
  if (in.HistoryInterval > 0) {
    const int64_t interval = HistoryInterval(in.UtcNow, in.HistoryInterval);
    if (judged.Good && interval != state.LastSampleInterval) {
      out.HistorySample = TakeHistorySample(*core, judged.View.Drives, state.Number, in.UtcNow);
      state.Growth.Add(*out.HistorySample);
      state.LastSampleInterval = interval;
    }
    state.Growth.Prune(in.UtcNow);
    AddGrowthReasons(state.Growth, *judged.Shown, state.Number, verdict, &judged.View.Grown);
  }
  const TKVCore* current = core.get();
  if (judged.Good) {
    state.Tracker.KeepGood(std::move(core), std::move(*report_ini), in.Now, &judged);
  } else {
    // Shown while the state holds no good model: kept as long as the output.
    out.Fresh = std::move(core);
    out.FreshReport = std::move(report_ini);
  }
  const std::string prefix = ControllerPrefix(state.Number, in.ControllersWatched);
  for (TChange& change : judged.Changes) {
    change.Text.insert(0, prefix);
    change.Controller = state.Number;
    out.LogLines.push_back(std::string("CHANGE ") + SeverityName(change.Severity) + ": " + change.Text);
    ++state.ChangeTotals[static_cast<size_t>(change.Severity)];
  }
  if (judged.TellFirstVerdict && verdict.Level != THealth::OK)
    out.LogLines.push_back(std::string("HEALTH ") + HealthWord(verdict.Level) + ": " + prefix +
                           std::to_string(verdict.Reasons.size()) + " finding(s) at the first collection");
  // Told with this cycle's writes: the page says so as soon as a file cannot be written.
  AddMonitorWarnings(verdict, in.MonitorWarnings);
  state.Recent = RecentWith(std::move(state.Recent), judged.Changes, in.Now, kRecentChanges);
  judged.View.Recent = state.Recent;
  judged.View.ChangeTotals = state.ChangeTotals;

  std::string page = RenderMainPage(*judged.Shown, in.Version, *judged.ShownReport, *in.Files, &judged.View, in.Now);
  out.PageLine = "OK, StartData, str size=" + std::to_string(page.size());
  out.BarOffset = ControllerBarOffset(page);
  page.shrink_to_fit();  // grown by doubling, and held until the next cycle
  out.MainPage = std::make_shared<const std::string>(std::move(page));

  // The metrics and the JSON follow the pages: the last good data while collection fails.
  const bool stale = judged.Shown != current;
  health.StaleReason = stale ? failure : std::string();
  health.DataCollectedUnixSeconds = stale ? health.LastSuccessUnixSeconds : 0;
  RenderMachineTexts(state, *judged.Shown, &judged.View, out);

  state.Verdict = verdict;
  state.Model = judged.Shown->Result.Controller.Model;
  state.Published = true;
  out.Good = judged.Good;
  out.TellFirstVerdict = judged.TellFirstVerdict;
  out.Shown = judged.Shown;
  out.ShownReport = judged.ShownReport;
  out.Changes = std::move(judged.Changes);
  out.View = std::move(judged.View);
  return out;
}

void RenderFailedCycle(TControllerState& state, const std::string& reason, TCycleOutput& output) {
  state.Health.Up = false;
  const TKVCore empty{};
  const TKVCore* last_good = state.Tracker.LastGood();
  state.Health.StaleReason = last_good != nullptr ? reason : std::string();
  state.Health.DataCollectedUnixSeconds = last_good != nullptr ? state.Health.LastSuccessUnixSeconds : 0;
  RenderMachineTexts(state, last_good != nullptr ? *last_good : empty, nullptr, output);
}

std::vector<std::string> DrivePageKeys(const TMemIniFile& report) {
  std::vector<std::string> keys;
  const int64_t count = report.ReadInteger("hdds", "count", 0);
  // A hostile count cannot make us loop for ever: no controller holds anywhere near
  // 65536 drives.
  const int64_t limit = std::min<int64_t>(count, 65536);
  for (int64_t i = 0; i < limit; ++i) {
    const std::string section = "hdd_" + std::to_string(i);
    if (!report.SectionExists(section)) continue;
    keys.push_back(report.ReadString(section, "channel", "") + "_" + report.ReadString(section, "id", ""));
  }
  keys.push_back("-1_-1");
  return keys;
}

void RenderDrivePages(const TCycleOutput& output, const TCycleInput& input, int controller,
                      const std::function<void(THDDHTMLCacheItem&&)>& publish) {
  // Every page comes from the one model shown. Each is handed on as soon as it is
  // rendered, so the two sets of pages are never held together.
  THddPageRenderer renderer(*output.Shown, *input.Files, input.SmartConfigured ? SmartSource::kSet : SmartSource::kNotSet,
                            &output.View.Drives, controller);
  renderer.SetHistorySections(input.HistorySections.get());
  const std::string stamp = PageTimeStamp(input.Now);
  for (const std::string& key : DrivePageKeys(*output.ShownReport)) {
    try {
      TDrivePage page = renderer.Render(key);
      publish(THDDHTMLCacheItem{key, std::move(page.AlternativeKey), std::move(page.Body), stamp});
    } catch (...) {
      // This drive's page is left out; the others are still rendered.
    }
  }
}

}  // namespace kv
