#include "collect/scan_list_manager.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <limits>

#include "base/core_log_writer.h"
#include "base/local_time_text.h"
#include "collect/source_completeness.h"
#include "collect/status_text.h"
#include "model/kv_core.h"
#include "model/smart_names.h"
#include "parse/controller_count.h"
#include "pages/controller_bar.h"
#include "platform/clock.h"
#include "platform/memory.h"
#include "platform/os_facts.h"
#include "platform/write_failures.h"
#include "report/state_json.h"

namespace kv {
namespace {

// Periods are 32-bit seconds in the configuration; wider values would overflow the
// schedule arithmetic.
int64_t ClampPeriod(int64_t seconds) {
  return std::clamp<int64_t>(seconds, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
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

// Source `index` of a set: config, smart, task, stat, cache.
constexpr std::array<std::string TSourceSet::*, kSourceCount> kSourceFields = {
    &TSourceSet::config, &TSourceSet::smart, &TSourceSet::task, &TSourceSet::stat, &TSourceSet::cache};

const std::string& SourceOf(const TSourceSet& set, int index) { return set.*kSourceFields[static_cast<size_t>(index)]; }

// Controller `number`'s share of the [source] values: those with the placeholder, filled in.
// Controller 1 also takes the values without it.
TSourceSet TemplateSources(const TSourceSet& configured, int number) {
  TSourceSet set;
  for (auto field : kSourceFields) {
    const std::string& value = configured.*field;
    if (number == 1 || value.find(kControllerPlaceholder) != std::string::npos)
      set.*field = ControllerSource(value, number);
  }
  return set;
}

const std::shared_ptr<const std::string>& EmptyText() {
  static const auto empty = std::make_shared<const std::string>();
  return empty;
}

}  // namespace

TScanListManager::TScanListManager(TCollectEnv& env)
    : env_(env), served_(env.Served()) {
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
  notify_ = std::make_unique<TNotifications>(TNotifySettings(), std::string(), std::string(), nullptr, nullptr);
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
  history_.reset();  // after the last tick: the sample being written is finished
}

void TScanListManager::Configure(const TSettings& settings) {
  const std::string folder = env_.ProgramFolder();
  env_.SetCurrentFolder(folder);  // a failure is ignored: sources then resolve elsewhere
  version_ = env_.VersionText();
  WriteCoreLog("Version: " + version_);
  std::string os = "unknow";
  try {
    os = env_.OsDescription();
  } catch (...) {
  }
  WriteCoreLog("OS: " + os);
  WriteCoreLog("Uptime: " + UptimeText(static_cast<int64_t>(env_.UptimeMs() / 1000)));

  settings_ = settings;
  restart_timeout_ = ClampPeriod(settings.restart_timeout);
  read_options_.limits.timeout_ms = settings.source_timeout * 1000;
  TNotifySettings notify(settings);
  if (!notify.Command.empty()) WriteCoreLog("notify command: " + notify.Command);
  if (!notify.Webhook.empty()) WriteCoreLog("notify webhook: " + WebhookAddressForLog(notify.Webhook));
  notify_.reset();  // the old senders finish writing the outbox before the new ones read it
  notify_ = std::make_unique<TNotifications>(
      std::move(notify), env_.ProgramFolder(), platform::ComputerName(),
      [this](const std::string& command, const platform::ConsoleProcessLimits& limits, std::string& output) {
        return env_.RunCommand(command, limits, output);
      },
      [this] { return env_.UtcNow(); });
  notify_->Resume();  // what a stop or a crash cut short is told now
  if (const std::string path = HistoryFilePath(settings, env_.StateFolder()); !path.empty()) {
    WriteCoreLog("history: " + path + ", a sample every " + std::to_string(settings.history_interval) +
                 " s, kept " + std::to_string(settings.history_keep_days) + " days");
    THistoryWriterOptions options;
    options.Path = path;
    options.KeepDays = settings.history_keep_days;
    options.Interval = settings.history_interval;
    options.UtcNow = [] {
      return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
          .count();
    };
    options.LocalStamp = [] { return FileTimeStamp(platform::LocalUnixSeconds()); };
    options.ZoneBiasMinutes = env_.ZoneBiasMinutes();
    history_ = std::make_unique<THistoryWriter>(std::move(options));
  }

  for (const std::string* value : {&settings.source_config, &settings.source_smart, &settings.source_task,
                                   &settings.source_stat, &settings.source_cache})
    if (value->find(kControllerPlaceholder) != std::string::npos) template_ = true;
  bool numbered = false;
  for (int number = 2; number <= kMaxControllers; ++number) {
    const std::optional<TSourceSet>& set = settings.numbered_sources[static_cast<size_t>(number)];
    if (!set) continue;
    if (set->config.empty()) {
      WriteCoreLog("ERROR! [" + NumberedSourceSection(number) + "] has no config source: controller " +
                   std::to_string(number) + " is not watched");
      continue;
    }
    numbered = true;
  }
  if (settings.source_config.empty() && !numbered) return;  // nothing to collect, no self-restart
  WriteCoreLog("source config: " + settings.source_config);
  WriteCoreLog("source smart: " + settings.source_smart);
  WriteCoreLog("source task: " + settings.source_task);
  WriteCoreLog("source stat: " + settings.source_stat);
  WriteCoreLog("source cache: " + settings.source_cache);
  for (int number = 2; number <= kMaxControllers; ++number) {
    const std::optional<TSourceSet>& set = settings.numbered_sources[static_cast<size_t>(number)];
    if (set && !set->config.empty())
      WriteCoreLog("source_" + std::to_string(number) + " config: " + set->config);
  }
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
  } catch (const std::exception& e) {
    // A failed tick leaves the schedule as it is; the next one comes in a second.
    WriteCoreLog(std::string("ERROR! collection tick failed: ") + e.what());
  } catch (...) {
    WriteCoreLog("ERROR! collection tick failed");
  }
}


TScanListManager::TController& TScanListManager::ControllerAt(int number) {
  std::unique_ptr<TController>& slot = controllers_[static_cast<size_t>(number - 1)];
  if (!slot) {
    auto made = std::make_unique<TController>(number, env_.Resources());
    made->State.Tracker.SetTemperatureMax(static_cast<int>(settings_.drive_temperature_max));
    made->Texts.fill(EmptyText());
    made->MainPage = EmptyText();
    made->Bar = EmptyText();
    std::lock_guard<std::mutex> lock(served_.PageLock());
    made->Pages.SetVersion(version_);
    slot = std::move(made);
  }
  return *slot;
}

int TScanListManager::WatchedCount() const {
  int count = 0;
  for (const auto& c : controllers_) count += c && c->Watched ? 1 : 0;
  return count;
}

void TScanListManager::ChooseControllers(int reported, std::vector<TChange>& changes) {
  // [source_N] sections always; the template for every other controller the utility
  // reports (at least controller 1, at most 8).
  const int templated = template_ ? std::clamp(reported, 1, kMaxControllers) : 1;
  int highest = 1;
  for (int number = 2; number <= kMaxControllers; ++number) {
    const std::optional<TSourceSet>& section = settings_.numbered_sources[static_cast<size_t>(number)];
    const bool own = section && !section->config.empty();
    const bool watched = own || number <= templated;
    std::unique_ptr<TController>& slot = controllers_[static_cast<size_t>(number - 1)];
    const bool was = slot && slot->Watched;
    if (watched != was && controllers_[0]->State.Health.CollectionsTotal >= 2) {
      changes.push_back(ControllerSetChange(number, !watched));
      WriteCoreLog(std::string("CHANGE ") + SeverityName(changes.back().Severity) + ": " + changes.back().Text);
    }
    if (!watched) {
      if (slot) slot->Watched = false;
      continue;
    }
    TController& c = ControllerAt(number);
    c.Watched = true;
    highest = number;
    c.Sources = own ? *section : TemplateSources(ConfiguredSources(settings_, 1), number);
  }
  std::lock_guard<std::mutex> lock(served_.PageLock());
  served_count_ = highest;
  for (int number = 2; number <= kMaxControllers; ++number) {
    const std::unique_ptr<TController>& slot = controllers_[static_cast<size_t>(number - 1)];
    served_numbers_[static_cast<size_t>(number - 1)] = slot && slot->Watched;
  }
}

std::string TScanListManager::ReadOne(TController& c, int index) {
  std::string text;
  SourceHealth& health = c.State.Health.Sources[static_cast<size_t>(index)];
  health = SourceHealth{};
  const std::string& source = SourceOf(c.Sources, index);
  if (source.empty() || cancel_.Cancelled()) return text;
  const double start = env_.MonotonicSeconds();
  health.Configured = true;
  int exit_code = -1;
  health.Status = ReadSource(source, text, read_options_, &exit_code);
  health.DurationSeconds = env_.MonotonicSeconds() - start;
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

void TScanListManager::StartData() {
  if (!state_loaded_) {
    // The first period compares with the states saved by the last run, if any.
    state_loaded_ = true;
    journal_ = TChangesJournal(env_.StateFolder());
    std::vector<std::string> notes;
    journal_.LoadState(saved_, saved_existed_, &notes);
    notify_->Remember(notes);
    saved_notes_ = std::move(notes);
  }
  TController& first = ControllerAt(1);
  first.Sources = TemplateSources(ConfiguredSources(settings_, 1), 1);
  first.Watched = true;
  period_changes_.clear();
  TakeHistoryNews();
  TakeNotifyNews();
  // The set is chosen from the count controller 1's last listing gave, and again from this
  // period's as soon as it is read (CollectController), before anything is judged.
  ChooseControllers(first.State.ReportedControllers, period_changes_);
  bool any_good = false;
  for (int number = 1; number <= kMaxControllers && !cancel_.Cancelled(); ++number) {
    TController* c = controllers_[static_cast<size_t>(number - 1)].get();
    if (c == nullptr || !c->Watched || SourceOf(c->Sources, kSourceConfig).empty()) continue;
    const uint64_t before = c->State.Health.CollectionsTotal;
    CollectController(*c);
    any_good = any_good || (c->State.Health.Up && c->State.Health.CollectionsTotal > before);
  }
  if (!period_changes_.empty()) {
    journal_.Append(period_changes_, env_.Now());
    TellEvents(period_changes_, false, THealthVerdict{});
  }
  // Every period, changes or not: reminders and held messages fall due with the clock.
  Notify(period_changes_);
  if (any_good || notify_->Notes() != saved_notes_) SaveStates();
}

void TScanListManager::Notify(const std::vector<TChange>& changes) {
  // Before any controller has shown a cycle the verdict says nothing: it is not an OK that
  // resolves what was told before the start.
  const bool shown = std::any_of(controllers_.begin(), controllers_.end(),
                                 [](const auto& c) { return c && c->Watched && c->State.Published; });
  if (!shown) return;
  notify_->Tell(OverallVerdict(), changes, env_.UtcNow(), env_.Now());
}

void TScanListManager::TakeNotifyNews() {
  for (TChange& change : notify_->TakeChanges()) {
    WriteCoreLog(std::string("CHANGE ") + SeverityName(change.Severity) + ": " + change.Text);
    period_changes_.push_back(std::move(change));
  }
}

void TScanListManager::TakeHistoryNews() {
  if (!history_) return;
  for (TChange& change : history_->TakeChanges()) {
    WriteCoreLog(std::string("CHANGE ") + SeverityName(change.Severity) + ": " + change.Text);
    period_changes_.push_back(std::move(change));
  }
  // The stored week arrives while the cycles already add their samples: it goes before them.
  std::map<int, TGrowthWindow> loaded;
  for (const TStoredDriveRow& row : history_->TakeWindowRows())
    if (row.Controller >= 1 && row.Controller <= kMaxControllers) loaded[row.Controller].Add(row);
  for (auto& [number, window] : loaded) ControllerAt(number).State.Growth.TakeEarlier(std::move(window));
}

void TScanListManager::SaveStates() {
  TStateSnapshots states;
  for (const auto& c : controllers_)
    if (c && c->Watched && c->State.Tracker.HasBase()) states[c->State.Number] = c->State.Tracker.Base();
  // A controller that has not had a good cycle yet keeps what the last run saved of it.
  for (const auto& [number, snapshot] : saved_)
    if (states.count(number) == 0 && controllers_[static_cast<size_t>(number - 1)] &&
        controllers_[static_cast<size_t>(number - 1)]->Watched)
      states[number] = snapshot;
  saved_notes_ = notify_->Notes();
  journal_.SaveState(states, saved_notes_);
}

void TScanListManager::CollectController(TController& c) {
  const double start = env_.MonotonicSeconds();
  TControllerState& state = c.State;
  ++state.Health.CollectionsTotal;
  state.Health.Up = false;
  if (state.Health.CollectionsTotal == 1) {
    // Its first cycle compares with what the last run saved of it.
    const auto saved = saved_.find(state.Number);
    const bool loaded = saved != saved_.end();
    state.Tracker.StartFrom(loaded, loaded ? saved->second : TStateSnapshot{}, !saved_existed_);
  }
  TCycleInput in;
  for (int index = 0; index < kSourceCount; ++index)
    in.Texts[static_cast<size_t>(index)] = std::make_shared<const std::string>(ReadOne(c, index));
  if (cancel_.Cancelled()) return;  // the service stops: texts cut short are not published
  // Controller 1's listing says how many controllers there are; every controller of this
  // period, controller 1 too, is judged knowing it.
  if (state.Number == 1 && state.Health.Sources[kSourceConfig].Status == SourceStatus::kOk)
    ChooseControllers(ReportedControllerCount(*in.Texts[kSourceConfig]), period_changes_);
  const int watched = WatchedCount();
  in.Now = env_.Now();
  in.UtcNow = env_.UtcNow();
  in.ControllersWatched = watched;
  in.SmartConfigured = !c.Sources.smart.empty();
  in.Version = version_;
  in.Files = &env_.Resources();
  in.SmartNames = smart_names_;
  in.MonitorWarnings = platform::WriteFailures().Warnings();
  if (history_) {
    in.HistoryInterval = settings_.history_interval;
    in.HistorySections = history_->Sections(state.Number);
  }
  {
    // Published first and parsed from the published texts: no second copy of each is held.
    std::lock_guard<std::mutex> lock(served_.PageLock());
    c.Texts = in.Texts;
  }
  // The texts the cycle renders carry this cycle's time: reading the sources, which is
  // nearly all of it (parsing and rendering take milliseconds).
  state.Health.DurationSeconds = env_.MonotonicSeconds() - start;
  TCycleOutput out;
  try {
    out = RunControllerCycle(state, in);
  } catch (const std::exception& e) {
    WriteCoreLog(ControllerPrefix(state.Number, watched) + "ERROR! collection cycle failed: " + e.what());
    out = TCycleOutput{};
    try {
      RenderFailedCycle(state, "collection cycle failed", out);
      c.Metrics = std::move(out.Metrics);
      c.StateJson = std::move(out.StateJson);
      PublishJoinedTexts();
    } catch (...) {
    }
    return;
  }
  PublishCycle(c, out, in);
}

void TScanListManager::PublishCycle(TController& c, TCycleOutput& out, const TCycleInput& in) {
  TControllerState& state = c.State;
  for (const std::string& line : out.LogLines) WriteCoreLog(line);
  {
    std::lock_guard<std::mutex> lock(served_.PageLock());
    if (out.Report) c.Report.swap(out.Report);
    c.MainPage.swap(out.MainPage);  // requests hold the old page by reference
    c.BarAt = out.BarOffset;
  }
  journal_.Append(out.Changes, in.Now);
  TellEvents(out.Changes, out.TellFirstVerdict, out.View.Verdict);
  WriteCoreLog(out.PageLine);
  c.Metrics = std::move(out.Metrics);
  c.StateJson = std::move(out.StateJson);
  PublishJoinedTexts();
  // Every cycle: a drive page without SMART data still shows the drive and says why.
  try {
    RenderDrivePages(out, in, state.Number, [&](THDDHTMLCacheItem&& item) {
      std::lock_guard<std::mutex> lock(served_.PageLock());
      item = c.Pages.Refresh(std::move(item));  // the old page, freed after the lock
    });
  } catch (...) {
    // The pages rendered so far are still published.
  }
  {
    std::lock_guard<std::mutex> lock(served_.PageLock());
    c.Pages.EndRefresh();
  }
  // Told once every page shows what the command is told about.
  if (!out.Changes.empty()) Notify(out.Changes);
  if (history_ && out.HistorySample) history_->Submit(std::move(*out.HistorySample));
}

THealthVerdict TScanListManager::OverallVerdict() const {
  THealthVerdict overall;
  const int watched = WatchedCount();
  for (const auto& c : controllers_) {
    if (!c || !c->Watched || !c->State.Published) continue;
    overall.Level = std::max(overall.Level, c->State.Verdict.Level);
    for (THealthReason reason : c->State.Verdict.Reasons) {
      reason.Object.insert(0, ControllerPrefix(c->State.Number, watched));
      overall.Reasons.push_back(std::move(reason));
    }
  }
  return overall;
}

void TScanListManager::PublishJoinedTexts() {
  std::vector<const TMetricsParts*> metrics;
  std::vector<std::string> entries;
  std::vector<TControllerLink> links;
  for (const auto& c : controllers_) {
    if (!c || !c->Watched) continue;
    metrics.push_back(&c->Metrics);
    if (!c->StateJson.empty()) entries.push_back(c->StateJson);
    links.push_back({c->State.Number, c->State.Verdict.Level, c->State.Model});
  }
  // One at a time, each old text freed before the next is built: at hundreds of drives
  // each is a megabyte.
  std::string text = JoinMetricsParts(metrics);
  {
    std::lock_guard<std::mutex> lock(served_.PageLock());
    metrics_text_.swap(text);
  }
  std::string().swap(text);
  text = JoinStateJson(OverallVerdict(), entries);
  {
    std::lock_guard<std::mutex> lock(served_.PageLock());
    state_json_.swap(text);
  }
  for (const auto& c : controllers_) {
    if (!c || !c->Watched) continue;
    auto bar = std::make_shared<const std::string>(RenderControllerBar(links, c->State.Number));
    std::lock_guard<std::mutex> lock(served_.PageLock());
    c->Bar.swap(bar);
  }
}

void TScanListManager::TellEvents(const std::vector<TChange>& changes, bool tell_first_verdict,
                                  const THealthVerdict& verdict) {
  platform::EventLogSink* events = env_.Events();
  if (events == nullptr) return;
  if (tell_first_verdict && verdict.Level != THealth::OK) {
    std::string text = std::string("Health: ") + HealthWord(verdict.Level);
    for (const THealthReason& r : verdict.Reasons) text += "\r\n" + r.Object + ": " + r.Text;
    events->ReportWithId(verdict.Level == THealth::Critical ? platform::EventType::kError : platform::EventType::kWarning,
                         kFirstVerdictEvent, text);
  }
  const size_t told = std::min(changes.size(), kEventsPerCycle);
  for (size_t i = 0; i < told; ++i)
    events->ReportWithId(EventTypeOf(changes[i].Severity), EventIdOf(changes[i].Kind), changes[i].Text);
  if (changes.size() > told)
    events->ReportWithId(platform::EventType::kWarning, kMoreChangesEvent,
                         std::to_string(changes.size() - told) +
                             " more changes were not written to the event log; see korvane_monitor_changes.txt");
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


int TScanListManager::ControllerCountLocked() const { return served_count_; }

bool TScanListManager::ServesLocked(int controller) const {
  return served_numbers_[static_cast<size_t>(controller - 1)];
}

// A number the HTTP side asks for that no controller has yet: empty texts.
TSharedPage TScanListManager::MainPageLocked(int controller) const {
  const TController* c = controllers_[static_cast<size_t>(controller - 1)].get();
  if (c == nullptr) return TSharedPage{EmptyText(), 0, EmptyText()};
  return TSharedPage{c->MainPage, c->BarAt, c->Bar};
}

std::string TScanListManager::ConfigTextLocked(int controller) const {
  const TController* c = controllers_[static_cast<size_t>(controller - 1)].get();
  return c != nullptr ? *c->Texts[kSourceConfig] : std::string();
}

std::string TScanListManager::ReportTextLocked(int controller) const {
  const TController* c = controllers_[static_cast<size_t>(controller - 1)].get();
  return c != nullptr && c->Report ? *c->Report : std::string();
}

std::string TScanListManager::DrivePageLocked(int controller, const std::string& key) const {
  const TController* c = controllers_[static_cast<size_t>(controller - 1)].get();
  return c != nullptr ? c->Pages.Get(key) : std::string();
}

TArchiveSources TScanListManager::ArchiveSourcesLocked(int controller) const {
  TArchiveSources sources;
  const TController* c = controllers_[static_cast<size_t>(controller - 1)].get();
  if (c != nullptr)
    for (int index = 0; index < kSourceCount; ++index)
      sources.texts[static_cast<size_t>(index)] = c->Texts[static_cast<size_t>(index)];
  sources.version = version_;
  sources.local_time = env_.Now();
  sources.zone_bias_minutes = env_.ZoneBiasMinutes();
  return sources;
}

std::string TScanListManager::MetricsTextLocked() const { return metrics_text_; }
std::string TScanListManager::StateJsonLocked() const { return state_json_; }

}  // namespace kv
