#pragma once
// RunControllerCycle: one controller's collection cycle as a function of its inputs.
//
// It takes the texts the controller's sources returned (and how each read went), the time
// and what the controller carried from its earlier cycles (TControllerState), and returns
// everything the cycle publishes: the state report, the main page, the controller's part
// of the metrics and of the JSON document, the verdict, the changes and the core-log lines.
// The drive pages are rendered afterwards from the model shown (RenderDrivePages), one at
// a time, so that a set of them is never held twice.
//
// With history on, the first good cycle of each history interval also returns its sample,
// which the growth window keeps too; every cycle then judges the growth of the last week.
//
// It takes no lock, reads no clock and writes no file: the scan list manager runs the
// sources, publishes, logs, saves the state, writes the history and notifies. It may throw
// (out of memory); the state then still holds the last good model and the next cycle
// starts from it.
//
// Threads: the collecting thread, one controller at a time.
#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/ini_file.h"
#include "collect/health_tracker.h"
#include "health/changes.h"
#include "history/growth_window.h"
#include "pages/history_section.h"
#include "parse/config_parser.h"
#include "report/collection_health.h"
#include "report/metrics_text.h"

namespace kv {

class TKVCore;
class TKVSmartNamesList;
class TMFileList;
struct THDDHTMLCacheItem;

// What one controller carries from cycle to cycle. The manager sets Health.Sources and
// counts Health.CollectionsTotal before each cycle; the rest belongs to the cycle.
struct TControllerState {
  int Number = 1;  // 1 .. 8
  THealthTracker Tracker;
  CollectionHealth Health;
  TSeenHeadings Headings;    // unknown listing headings already logged
  int64_t SmartCollectedAt = 0;  // local Unix seconds of the SMART data the model holds
  std::vector<TChangeLine> Recent;  // the last changes, oldest first
  std::array<uint64_t, 3> ChangeTotals{};  // changes told since the start, by severity
  size_t ReportSize = 0;     // of the last report, reserved for the next
  size_t StateJsonSize = 0;  // of the last JSON entry
  int ReportedControllers = 0;  // "Controllers found" of the last listing that said it
  // For the controller bar: the verdict and the model of what the pages show.
  THealthVerdict Verdict;
  std::string Model;
  bool Published = false;  // a cycle has published its texts
  // The drives' predictive values of the last week, and the history interval of the last
  // sample taken.
  TGrowthWindow Growth;
  int64_t LastSampleInterval = std::numeric_limits<int64_t>::min();  // none yet
};

struct TCycleInput {
  int64_t Now = 0;     // local Unix seconds, for the texts and the changes
  int64_t UtcNow = 0;  // Unix seconds, for the metrics' last success
  int ControllersWatched = 1;  // more than one: every change line and reason names its controller
  // The raw texts as published (never null), in source order, and how each read went.
  std::array<std::shared_ptr<const std::string>, kSourceCount> Texts;
  bool SmartConfigured = false;
  std::string Version;
  const TMFileList* Files = nullptr;  // page templates
  std::shared_ptr<const TKVSmartNamesList> SmartNames;
  // Files that cannot be written: each a Warning reason of the verdict.
  std::vector<std::string> MonitorWarnings;
  int64_t HistoryInterval = 0;  // seconds; 0: no history
  // The drives' History sections for their pages, by drive key; null shows none.
  std::shared_ptr<const THistorySections> HistorySections;
};

struct TCycleOutput {
  // The state report to publish; null while a failed collection keeps the last good one.
  std::shared_ptr<const std::string> Report;
  std::shared_ptr<const std::string> MainPage;
  size_t BarOffset = 0;  // where the controller bar goes in MainPage
  TMetricsParts Metrics;
  std::string StateJson;  // this controller's entry of the JSON document
  THealthView View;       // the verdict, the SMART verdicts, the recent changes
  std::vector<TChange> Changes;
  bool Good = false;  // this cycle's model is the new base (its state is saved)
  bool TellFirstVerdict = false;  // the very first run: its verdict, when not OK, is an event
  std::vector<std::string> LogLines;  // core-log lines of the changes and the first verdict, in order
  std::string PageLine;  // the core-log line told once the page is published
  // The first good cycle of a history interval samples its model for the history file.
  std::optional<THistorySample> HistorySample;
  // What the pages show: this cycle's model or the last good one; kept by the state.
  TKVCore* Shown = nullptr;
  const TMemIniFile* ShownReport = nullptr;
  std::unique_ptr<TKVCore> Fresh;  // this cycle's model when the state does not keep it
  std::unique_ptr<TMemIniFile> FreshReport;
};

// "Controller 2: " while several controllers are watched, else "".
std::string ControllerPrefix(int controller, int watched);

TCycleOutput RunControllerCycle(TControllerState& state, const TCycleInput& input);

// The controller's part of the metrics and the JSON document when its cycle failed as a
// whole: the last good model while it is held, marked stale by `reason`.
void RenderFailedCycle(TControllerState& state, const std::string& reason, TCycleOutput& output);

// Every drive page of the model shown, in report order, each handed to `publish` as soon
// as it is rendered. A page that fails to render is left out.
void RenderDrivePages(const TCycleOutput& output, const TCycleInput& input, int controller,
                      const std::function<void(THDDHTMLCacheItem&&)>& publish);

// Drive page keys of a state report: "channel_id" of every existing [hdd_N] section for
// N in 0 .. [hdds] count - 1, then the stand-in "-1_-1".
std::vector<std::string> DrivePageKeys(const TMemIniFile& report);

}  // namespace kv
