#include "collect/scan_list_manager.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include "base/core_log_writer.h"
#include "base/local_time_text.h"
#include "collect/health_tracker.h"
#include "collect/source_completeness.h"
#include "collect/status_text.h"
#include "model/kv_core.h"
#include "pages/drive_page.h"
#include "pages/main_page.h"
#include "pages/page_rows.h"
#include "platform/memory.h"
#include "platform/write_failures.h"
#include "parse/build_result.h"
#include "parse/config_parser.h"
#include "model/smart_names.h"
#include "parse/smart_parser.h"
#include "parse/stats_parser.h"
#include "parse/task_parser.h"
#include "report/metrics_text.h"
#include "report/state_json.h"
#include "report/state_report.h"
#include "resources/resource_store.h"
#include "support/support_archive.h"

namespace kv {
namespace {

constexpr size_t kRecentChanges = 50;

// Periods are 32-bit seconds in the configuration; wider values would overflow the
// schedule arithmetic.
int64_t ClampPeriod(int64_t seconds) {
  return std::clamp<int64_t>(seconds, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

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

int64_t UnixNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// A command's output that stops short reads as a smaller controller: the drives after the
// cut would "disappear". The listing must end with the completion line and the command
// with exit code 0 (-1: the runner could not tell); an XML document must close every
// element it opens.
// A crash between the two SMART documents leaves every element closed: the exit code
// tells. A text with no tag at all is a message, not a document cut short.
bool OutputCutShort(int source, const std::string& text, int exit_code) {
  const bool failed_exit = exit_code != 0 && exit_code != -1;
  switch (source) {
    case kSourceConfig: return failed_exit || !ListingComplete(text);
    case kSourceSmart:
    case kSourceStat:
    case kSourceCache: return failed_exit || (text.find('<') != std::string::npos && !XmlElementsClosed(text));
    default: return false;
  }
}

// The SMART lists of `from` become those of `to` (the rest of `to` is this cycle's).
void MoveSmartLists(TKVCore& from, TKVCore& to) {
  to.SASSmart = std::move(from.SASSmart);
  to.SATASmart = std::move(from.SATASmart);
  to.SATASmartParams = std::move(from.SATASmartParams);
  to.SASSmartParams = std::move(from.SASSmartParams);
  to.SmartDescNames = std::move(from.SmartDescNames);
}

// The cycle's changes as event-log records: type by severity, one id per kind, at most
// kEventsPerCycle of them and then one record that counts the rest. The very first run
// tells its verdict alone when it is not OK.
constexpr size_t kEventsPerCycle = 50;

// Periods (seconds) from which the heap's free pages go back to the system after a cycle.
constexpr int64_t kReturnHeapPeriod = 10;
constexpr int kFirstVerdictEvent = 80;
constexpr int kMoreChangesEvent = 90;

platform::EventType EventTypeOf(TSeverity severity) {
  return severity == TSeverity::Critical  ? platform::EventType::kError
         : severity == TSeverity::Warning ? platform::EventType::kWarning
                                          : platform::EventType::kInformation;
}

void TellEvents(platform::EventLogSink& events, const THealthTracker::TJudged& judged) {
  const THealthVerdict& verdict = judged.View.Verdict;
  if (judged.TellFirstVerdict && verdict.Level != THealth::OK) {
    std::string text = std::string("Health: ") + HealthWord(verdict.Level);
    for (const THealthReason& r : verdict.Reasons) text += "\r\n" + r.Object + ": " + r.Text;
    events.ReportWithId(verdict.Level == THealth::Critical ? platform::EventType::kError : platform::EventType::kWarning,
                       kFirstVerdictEvent, text);
  }
  const size_t told = std::min(judged.Changes.size(), kEventsPerCycle);
  for (size_t i = 0; i < told; ++i) {
    const TChange& c = judged.Changes[i];
    events.ReportWithId(EventTypeOf(c.Severity), EventIdOf(c.Kind), c.Text);
  }
  if (judged.Changes.size() > told)
    events.ReportWithId(platform::EventType::kWarning, kMoreChangesEvent,
                       std::to_string(judged.Changes.size() - told) +
                           " more changes were not written to the event log; see korvane_monitor_changes.txt");
}

// This cycle's changes after the ones told before, at most `limit` lines, oldest first.
std::vector<TChangeLine> RecentWith(std::vector<TChangeLine> recent, const std::vector<TChange>& changes, int64_t now,
                                    size_t limit) {
  for (const TChange& c : changes) recent.push_back({now, c.Severity, c.Text});
  if (recent.size() > limit) recent.erase(recent.begin(), recent.end() - static_cast<std::ptrdiff_t>(limit));
  return recent;
}

}  // namespace

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

TScanListManager::TScanListManager(TCollectEnv& env)
    : env_(env), served_(env.Served()), drive_pages_(std::string(), env.Resources()) {
  restart_base_ = env_.Now();
  read_options_.limits.timeout_ms = DefaultSettings().source_timeout * 1000;
  read_options_.limits.cancel = &cancel_;
  read_options_.runner = [this](const std::string& command, const platform::ConsoleProcessLimits& limits,
                                std::string& output) { return env_.RunCommand(command, limits, output); };
  timer_ = std::make_unique<TThread_timer>(env_.Loop());
  timer_->SetInterval(1000);
  timer_->OnTimer = [this](TThread_timer&) { OnTick(); };
  // The report and the pages name SATA attributes from the embedded table.
  std::string names;
  env_.Resources().Find("smart_params.txt", names);
  smart_names_ = std::make_shared<const TKVSmartNamesList>(names);
  notify_ = std::make_unique<TNotifyCommand>(TNotifySettings(), std::string(), nullptr);
  served_.Register(this);
}

TScanListManager::~TScanListManager() {
  // No request may reach us from here on; a running source is ended now, then the tick
  // it belonged to finishes.
  served_.Register(nullptr);
  cancel_.Cancel();
  notify_->Stop();
  timer_.reset();
  notify_.reset();
}

void TScanListManager::Configure(const TSettings& settings) {
  const std::string folder = env_.ProgramFolder();
  env_.SetCurrentFolder(folder);  // a failure is ignored: sources then resolve elsewhere
  version_ = env_.VersionText();
  {
    std::lock_guard<std::mutex> lock(served_.PageLock());
    drive_pages_.SetVersion(version_);
  }
  WriteCoreLog("Version: " + version_);
  std::string os = "unknow";
  try {
    os = env_.OsDescription();
  } catch (...) {
  }
  WriteCoreLog("OS: " + os);
  WriteCoreLog("Uptime: " + UptimeText(static_cast<int64_t>(env_.UptimeMs() / 1000)));

  config_source_ = settings.source_config;
  smart_source_ = settings.source_smart;
  task_source_ = settings.source_task;
  stat_source_ = settings.source_stat;
  cache_source_ = settings.source_cache;
  restart_timeout_ = ClampPeriod(settings.restart_timeout);
  read_options_.limits.timeout_ms = settings.source_timeout * 1000;
  tracker_.SetTemperatureMax(static_cast<int>(settings.drive_temperature_max));
  TNotifySettings notify(settings);
  if (!notify.Command.empty()) WriteCoreLog("notify command: " + notify.Command);
  notify_ = std::make_unique<TNotifyCommand>(
      std::move(notify), env_.ProgramFolder(),
      [this](const std::string& command, const platform::ConsoleProcessLimits& limits, std::string& output) {
        return env_.RunCommand(command, limits, output);
      });
  notify_->Resume();  // what a stop or a crash cut short is told now

  if (config_source_.empty()) return;  // nothing to collect, no self-restart
  WriteCoreLog("source config: " + config_source_);
  WriteCoreLog("source smart: " + smart_source_);
  WriteCoreLog("source task: " + task_source_);
  WriteCoreLog("source stat: " + stat_source_);
  WriteCoreLog("source cache: " + cache_source_);
  timer_->SetEnabled(true);
}

void TScanListManager::OnTick() {
  if (restart_launched_) return;
  try {
    const int64_t now = env_.Now();
    // Due when the moment is reached, so a period of 60 s collects every 60 ticks.
    if (now >= next_scan_) {
      WriteCoreLog("retimer");
      const int64_t period = ClampPeriod(Timeout);
      next_scan_ = now + period;
      StartData();
      // With long idle periods between cycles, what a cycle freed is not worth keeping; at
      // short periods faulting it in again would cost as much as the cycle.
      if (period >= kReturnHeapPeriod) platform::ReturnFreeHeap();
    }
    if (now >= restart_base_ + restart_timeout_) RestartCheck(now);
  } catch (...) {
    // A failed tick leaves the schedule as it is; the next one comes in a second.
  }
}

std::string TScanListManager::ReadOne(int index, const std::string& source) {
  std::string text;
  SourceHealth& health = health_.Sources[static_cast<size_t>(index)];
  health = SourceHealth{};
  if (source.empty() || cancel_.Cancelled()) return text;
  const auto start = std::chrono::steady_clock::now();
  health.Configured = true;
  int exit_code = -1;
  health.Status = ReadSource(source, text, read_options_, &exit_code);
  health.DurationSeconds = SecondsSince(start);
  health.OutputBytes = text.size();
  if (IsFileSource(source)) return text;  // saved outputs are often excerpts: read as they are
  const std::string name = SourceName(index);
  WriteCoreLog(name + " source: exit code " + std::to_string(exit_code) + ", " + std::to_string(text.size()) + " bytes");
  if (health.Status == SourceStatus::kOk && OutputCutShort(index, text, exit_code)) {
    health.Status = SourceStatus::kIncomplete;
    WriteCoreLog("ERROR! " + name + " source output is incomplete (" +
                 (index == kSourceConfig ? "no \"" + std::string(kCompletionLine) + "\" line, or a non-zero exit code"
                                         : std::string("an XML element is never closed")) +
                 "), not read as a whole collection: " + source);
  }
  return text;
}

// Swaps `value` into a field the HTTP threads read: O(1) under the lock.
void TScanListManager::Publish(std::string& field, std::string& value) {
  std::lock_guard<std::mutex> lock(served_.PageLock());
  field.swap(value);
}

void TScanListManager::PublishMachineTexts(const TKVCore& core, const TCycleHealth* cycle,
                                           const std::string& stale_reason) {
  health_.StaleReason = stale_reason;
  health_.DataCollectedUnixSeconds = stale_reason.empty() ? 0 : health_.LastSuccessUnixSeconds;
  // One at a time, each old text freed before the next is built: at hundreds of drives
  // each is a megabyte.
  std::string text = RenderMetricsText(core, health_, cycle);
  Publish(metrics_text_, text);
  std::string().swap(text);
  // Reserved at the last document's size and a little more: it seldom grows by doubling.
  text = RenderStateJson(core, health_, cycle, state_json_.size() + state_json_.size() / 16);
  if (text.capacity() - text.size() > text.size() / 8) text.shrink_to_fit();  // held until the next cycle
  Publish(state_json_, text);
}

void TScanListManager::StartData() {
  const auto cycle_start = std::chrono::steady_clock::now();
  ++health_.CollectionsTotal;
  health_.Up = false;
  std::string config = ReadOne(kSourceConfig, config_source_);
  std::string smart = ReadOne(kSourceSmart, smart_source_);
  std::string task = ReadOne(kSourceTask, task_source_);
  std::string stat = ReadOne(kSourceStat, stat_source_);
  std::string cache = ReadOne(kSourceCache, cache_source_);
  if (cancel_.Cancelled()) return;  // the service stops: texts cut short are not published
  // A document that broke off (timed out, capped, failed, cut short) is not read: what it
  // holds would read as drives without SMART data. An empty one is read as empty.
  const auto unusable = [this](int index) {
    const SourceStatus status = health_.Sources[index].Status;
    return health_.Sources[index].Configured && status != SourceStatus::kOk && status != SourceStatus::kEmpty;
  };
  std::unique_ptr<TKVCore> core;
  TKVCore* current = nullptr;  // this cycle's model, also once the tracker keeps it
  TMemIniFile report_ini;  // the published report, read by the main page and the drive pages
  THealthTracker::TJudged judged;
  try {
    core = std::make_unique<TKVCore>();
    current = core.get();
    core->SmartNames = smart_names_;

    // Published first and parsed from the published texts: no second copy of each is held.
    // Only this thread writes these fields, so its own reads need no lock.
    for (auto [field, text] : {std::pair{&config_text_, &config}, std::pair{&smart_text_, &smart},
                               std::pair{&stat_text_, &stat}, std::pair{&task_text_, &task},
                               std::pair{&cache_text_, &cache}}) {
      Publish(*field, *text);
      std::string().swap(*text);  // the previous cycle's text
    }
    ParseConfig(config_text_, *core);
    // The listing decides whether the cycle is good. A good cycle replaces the last good
    // model, which only a failed one shows: freed before the rest of this cycle's model is
    // read, two whole models are never held at once. Only its SMART lists may live on, when
    // this cycle's SMART document stops short.
    const std::string failure = CollectionFailure(health_.Sources[kSourceConfig], *core);
    const int64_t now = env_.Now();
    // A listing that broke off, with no good one to show instead, shows nothing rather
    // than a smaller controller. (An excerpt that names no controller is still shown.)
    const bool blind = !failure.empty() && tracker_.LastGood() == nullptr &&
                       health_.Sources[kSourceConfig].Status != SourceStatus::kOk;
    if (blind) {
      core = std::make_unique<TKVCore>();
      current = core.get();
      core->SmartNames = smart_names_;
    }
    if (failure.empty()) {
      if (unusable(kSourceSmart) && tracker_.LastGood() != nullptr) MoveSmartLists(*tracker_.LastGood(), *core);
      tracker_.ForgetLastGood();
    }
    if (!blind) {
      if (!smart_text_.empty() && !unusable(kSourceSmart)) {
        ParseSmart(smart_text_, *core);
        smart_collected_at_ = now;
      }
      if (!task_text_.empty()) ParseTasks(task_text_, *core);
      if (!stat_text_.empty() && !unusable(kSourceStat)) ParseLogStats(stat_text_, *core);
      if (!cache_text_.empty() && !unusable(kSourceCache)) ParseCacheStats(cache_text_, *core);
    }
    BuildResult(*core);
    auto report = std::make_shared<std::string>();
    report->reserve(report_text_ ? report_text_->size() : 0);  // about the size of the last cycle's
    AppendStateReport(*core, version_, *report);
    report->append("\r\n[update]\r\ntime=").append(std::to_string(now)).append("\r\n");
    // One text, served as /ini and read by the pages. A failed collection leaves the last
    // good report served, as the pages show the last good model.
    report_ini.Load(report);
    if (failure.empty() || tracker_.LastGood() == nullptr) {
      std::shared_ptr<const std::string> published = std::move(report);
      std::lock_guard<std::mutex> lock(served_.PageLock());
      report_text_.swap(published);
    }

    // The verdict, and what changed since the last good cycle; when the collection failed
    // the pages show the last good model.
    if (!state_loaded_) {
      // The first cycle compares with the state saved by the last run, if any.
      state_loaded_ = true;
      journal_ = TChangesJournal(env_.StateFolder());
      TStateSnapshot saved;
      bool existed = false;
      const bool loaded = journal_.LoadState(saved, existed);
      tracker_.StartFrom(loaded, saved, !existed);
    }
    judged = tracker_.Judge(*core, report_ini, failure, now);
    if (judged.Good) {
      health_.Up = true;
      health_.LastSuccessUnixSeconds = UnixNow();
    }
    if (failure.empty() && unusable(kSourceSmart))
      AddStaleSmartReason(judged.View.Verdict, SourceFailure(kSourceSmart, health_.Sources[kSourceSmart].Status), now);
    if (judged.Good) tracker_.KeepGood(std::move(core), std::move(report_ini), now, &judged);
    for (const TChange& change : judged.Changes) {
      WriteCoreLog(std::string("CHANGE ") + SeverityName(change.Severity) + ": " + change.Text);
      ++change_totals_[static_cast<size_t>(change.Severity)];
    }
    journal_.Append(judged.Changes, now);
    if (platform::EventLogSink* events = env_.Events()) TellEvents(*events, judged);
    if (judged.TellFirstVerdict && judged.View.Verdict.Level != THealth::OK)
      WriteCoreLog(std::string("HEALTH ") + HealthWord(judged.View.Verdict.Level) + ": " +
                   std::to_string(judged.View.Verdict.Reasons.size()) + " finding(s) at the first collection");
    if (judged.Good) journal_.SaveState(tracker_.Base());
    // Told with this cycle's writes: the page says so as soon as a file cannot be written.
    AddMonitorWarnings(judged.View.Verdict, platform::WriteFailures().Warnings());
    recent_changes_ = RecentWith(std::move(recent_changes_), judged.Changes, now, kRecentChanges);
    judged.View.Recent = recent_changes_;
    judged.View.ChangeTotals = change_totals_;

    std::string page = RenderMainPage(*judged.Shown, version_, *judged.ShownReport, env_.Resources(), &judged.View, env_.Now());
    const size_t page_size = page.size();
    page.shrink_to_fit();  // grown by doubling, and held until the next cycle
    {
      // Requests hold the old page by reference; it goes when the last of them is done.
      auto shared = std::make_shared<const std::string>(std::move(page));
      std::lock_guard<std::mutex> lock(served_.PageLock());
      main_page_.swap(shared);
    }
    WriteCoreLog("OK, StartData, str size=" + std::to_string(page_size));
    health_.DurationSeconds = SecondsSince(cycle_start);
    // The metrics and the JSON follow the pages: the last good data while collection fails.
    PublishMachineTexts(*judged.Shown, &judged.View, judged.Shown != current ? failure : std::string());
  } catch (...) {
    // The cycle ends here; the texts published so far stay, the rest keep the previous
    // cycle's values, and the next cycle is due as usual. The metrics still tell that
    // this cycle failed, with the last good data when it is still held.
    health_.Up = false;
    health_.DurationSeconds = SecondsSince(cycle_start);
    try {
      const TKVCore empty{};
      const TKVCore* last_good = tracker_.LastGood();
      PublishMachineTexts(last_good != nullptr ? *last_good : empty, nullptr,
                          last_good != nullptr ? "collection cycle failed" : std::string());
    } catch (...) {
    }
    return;
  }
  // Every cycle: a drive page without SMART data still shows the drive and says why.
  RefreshDrivePages(*judged.Shown, *judged.ShownReport, &judged.View.Drives);
  // Told once every page shows what the command is told about.
  NotifyChanges(judged.View.Verdict.Level, judged.Changes, env_.Now());
}

void TScanListManager::AddStaleSmartReason(THealthVerdict& verdict, const std::string& failure, int64_t now) const {
  std::string text = "the " + failure + " at " + LocalTimeText(now) + "; ";
  text += smart_collected_at_ > 0 ? "the SMART data shown was collected at " + LocalTimeText(smart_collected_at_)
                                  : "no SMART data is shown";
  // Beside the collection's own reasons, ahead of the devices'.
  verdict.Reasons.insert(verdict.Reasons.begin(), {THealth::Warning, "SMART data", "#controller", std::move(text)});
  if (verdict.Level == THealth::OK) verdict.Level = THealth::Warning;
}

void TScanListManager::NotifyChanges(THealth verdict, const std::vector<TChange>& changes, int64_t now) {
  notify_->Submit(HealthWord(verdict), changes, now);
}

void TScanListManager::RefreshDrivePages(TKVCore& core, const TMemIniFile& report,
                                         const std::vector<TSmartVerdict>* verdicts) {
  // Every page comes from the one model of this cycle. Each replaces its older version as
  // soon as it is rendered, so the two sets of pages are never held together.
  try {
    THddPageRenderer renderer(core, env_.Resources(),
                              smart_source_.empty() ? SmartSource::kNotSet : SmartSource::kSet, verdicts);
    for (const std::string& key : DrivePageKeys(report)) {
      try {
        TDrivePage page = renderer.Render(key);
        THDDHTMLCacheItem item{key, std::move(page.AlternativeKey), std::move(page.Body), PageTimeStamp(env_.Now())};
        std::lock_guard<std::mutex> lock(served_.PageLock());
        item = drive_pages_.Refresh(std::move(item));  // the old page, freed after the lock
      } catch (...) {
        // This drive's page is left out; the others are still rendered.
      }
    }
  } catch (...) {
    // The pages rendered so far are still published.
  }
  std::lock_guard<std::mutex> lock(served_.PageLock());
  drive_pages_.EndRefresh();
}

void TScanListManager::RestartCheck(int64_t now) {
  restart_base_ = now + 5;
  const std::string folder = env_.ProgramFolder();
  const std::string program = folder + "reload_service" + env_.ExecutableSuffix();
  if (!env_.FileExists(program)) return;
  WriteCoreLog("SERVICE RESTART!");
  timer_->SetEnabled(false);
  restart_launched_ = true;
  env_.LaunchDetached(RestartCommandLine(program, RestartArguments(env_.ExecutablePath())), folder);
}

std::string TScanListManager::MainPageLocked() const { return *main_page_; }

std::shared_ptr<const std::string> TScanListManager::SharedMainPageLocked() const { return main_page_; }
std::string TScanListManager::ConfigTextLocked() const { return config_text_; }
std::string TScanListManager::ReportTextLocked() const { return report_text_ ? *report_text_ : std::string(); }

std::string TScanListManager::MetricsTextLocked() const { return metrics_text_; }
std::string TScanListManager::StateJsonLocked() const { return state_json_; }

std::string TScanListManager::DrivePageLocked(const std::string& key) const { return drive_pages_.Get(key); }

void TScanListManager::BuildSupportArchiveLocked(std::string& zip) const {
  const SupportArchiveTexts texts{config_text_, smart_text_, task_text_, stat_text_, cache_text_};
  WriteSupportArchive(texts, version_, zip);
}

}  // namespace kv
