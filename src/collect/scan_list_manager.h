#pragma once
// TScanListManager: the collection period and the texts it publishes, for every controller.
//
// One instance per process, created by the service start and freed by its stop. Once a
// collection period has passed it runs each watched controller in turn: reads its five
// sources (config, smart, task, stat, cache), hands the texts to RunControllerCycle
// (collect/controller_cycle.h), which parses, judges and renders, and publishes what that
// returns, before the next controller's sources are read. It writes the core log, the
// changes file, the saved state and the events, and runs the notification command. The
// HTTP threads reach the texts only through the TServedTexts of its environment
// (served/served_content.h), under PageLock.
// Every publication takes PageLock for a few assignments; reading, parsing and rendering
// run outside it, and nothing is logged while it is held.
//
// Controllers: [source] is controller 1; [source_2] .. [source_8] are controllers 2 to 8;
// a [source] value with "{controller}" serves every controller the utility reports
// ("Controllers found: N" of controller 1's listing) that has no section of its own.
//
// Threads: the constructor, Timeout and Configure on the service thread before the
// timer runs; OnTick and everything it calls on the main loop thread (the timer hands
// each tick over and waits); the destructor on the service thread: it unregisters the
// texts first, ends a source command that is running (with the processes it started), so
// a stop never waits for a hung utility, then stops the timer after the tick in progress,
// which publishes nothing more.
//
// Configure takes from the settings (base/settings.h): [scaner] restart_timeout and
// source_timeout, the [source] and [source_N] lines (a ".txt" path or a command line),
// [health] drive_temperature_max, the [notify] keys and the [history] keys.
//
// Drive history: each cycle that starts a new [history] interval returns a sample, which
// goes to the history writer (collect/history_writer.h) after the pages are published;
// the writer's thread writes it and renders the drives' History sections, which the next
// cycles' drive pages show. The growth check reads the week the writer loaded at start,
// kept in each controller's state, never the file.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/settings.h"
#include "collect/changes_journal.h"
#include "collect/collect_env.h"
#include "collect/controller_cycle.h"
#include "collect/history_writer.h"
#include "notify/notifications.h"
#include "collect/source_reader.h"
#include "collect/thread_timer.h"
#include "pages/drive_page_cache.h"
#include "served/served_content.h"

namespace kv {

class TKVSmartNamesList;

class TScanListManager : public ServedContent {
 public:
  explicit TScanListManager(TCollectEnv& env);
  TScanListManager(const TScanListManager&) = delete;
  TScanListManager& operator=(const TScanListManager&) = delete;
  ~TScanListManager() override;

  // Collection period in seconds; set by the service before Configure.
  int64_t Timeout = DefaultSettings().timeout;
  // Set by the service from [scaner] log; nothing here depends on it.
  bool Logging = false;

  void Configure(const TSettings& settings);
  void OnTick();
  // One collection period: every watched controller, one after the other.
  void StartData();

  bool TimerEnabled() const { return timer_->Enabled(); }
  int64_t NextScan() const { return next_scan_; }
  int64_t RestartBase() const { return restart_base_; }
  int64_t RestartTimeout() const { return restart_timeout_; }
  const std::string& Version() const { return version_; }

  // ServedContent: called with PageLock held.
  int ControllerCountLocked() const override;
  bool ServesLocked(int controller) const override;
  TSharedPage MainPageLocked(int controller) const override;
  std::string ConfigTextLocked(int controller) const override;
  std::string ReportTextLocked(int controller) const override;
  std::string DrivePageLocked(int controller, const std::string& key) const override;
  TArchiveSources ArchiveSourcesLocked(int controller) const override;
  std::string MetricsTextLocked() const override;
  std::string StateJsonLocked() const override;

  // The command and the webhook as configured (made by Configure).
  TNotifications& Notifier() { return *notify_; }

 private:
  // One watched controller: what its cycles carry and what it publishes.
  struct TController {
    explicit TController(int number, const TMFileList& files) : Pages(std::string(), files) {
      State.Number = number;
    }
    TControllerState State;
    TSourceSet Sources;  // with the number put in
    bool Watched = false;  // in this period's set
    TMetricsParts Metrics;  // collecting thread only
    std::string StateJson;  // collecting thread only
    // Guarded by PageLock.
    std::array<std::shared_ptr<const std::string>, kSourceCount> Texts;
    std::shared_ptr<const std::string> Report;  // shared with the pages' reader of it
    std::shared_ptr<const std::string> MainPage;
    size_t BarAt = 0;
    std::shared_ptr<const std::string> Bar;
    THDDHTMLCacheList Pages;
  };

  void RestartCheck(int64_t now);
  // Which controllers this period watches, and their sources; logs what changed.
  void ChooseControllers(int reported, std::vector<TChange>& changes);
  TController& ControllerAt(int number);
  // Reads source `index` of `c` into a text and records how it went; a command's output
  // that stops short is marked incomplete.
  std::string ReadOne(TController& c, int index);
  // Reads, runs and publishes one controller's cycle.
  void CollectController(TController& c);
  void PublishCycle(TController& c, TCycleOutput& out, const TCycleInput& in);
  // The metrics text and the JSON document of every controller, and the controller bars.
  void PublishJoinedTexts();
  // The overall verdict: the worst of the controllers', each reason naming its controller.
  THealthVerdict OverallVerdict() const;
  void TellEvents(const std::vector<TChange>& changes, bool tell_first_verdict, const THealthVerdict& verdict);
  // Saves every controller's state and the notifications' memory.
  void SaveStates();
  // Tells the command and the webhook what the policy makes of `changes` and the verdict.
  void Notify(const std::vector<TChange>& changes);
  // What the history writer has found since the last period (a file started anew, the
  // week of samples loaded at start), and the webhook's dropped messages.
  void TakeHistoryNews();
  void TakeNotifyNews();
  int WatchedCount() const;

  TCollectEnv& env_;
  TServedTexts& served_;  // env_.Served()
  std::shared_ptr<const TKVSmartNamesList> smart_names_;  // from env_.Resources(), handed to every core
  int64_t next_scan_ = 0;
  int64_t restart_base_ = 0;
  int64_t restart_timeout_ = DefaultSettings().restart_timeout;
  bool restart_launched_ = false;
  std::string version_;
  TSettings settings_ = DefaultSettings();
  bool template_ = false;  // a [source] value serves every controller
  platform::ConsoleProcessCancel cancel_;  // set by the destructor, from the service thread
  SourceReadOptions read_options_;
  TChangesJournal journal_;
  bool state_loaded_ = false;
  TStateSnapshots saved_;  // the states the last run saved, until each controller's first cycle
  bool saved_existed_ = false;
  std::unique_ptr<TNotifications> notify_;
  std::vector<std::string> saved_notes_;  // the notifications' memory as last saved
  std::unique_ptr<THistoryWriter> history_;  // null: no history kept
  std::vector<TChange> period_changes_;  // of the set of controllers, this period
  // At the controller's number less one; made when first watched, kept while the process runs.
  std::array<std::unique_ptr<TController>, kMaxControllers> controllers_;
  // Guarded by PageLock: the highest number watched, and which numbers are.
  int served_count_ = 1;
  std::array<bool, kMaxControllers> served_numbers_{true};

  // Guarded by PageLock.
  std::string metrics_text_, state_json_;

  std::unique_ptr<TThread_timer> timer_;
};

}  // namespace kv
