#pragma once
// TScanListManager: the collection cycle and the texts it publishes.
//
// One instance per process, created by the service start and freed by its stop. Once a
// collection period has passed it reads the five sources (config, smart, task, stat,
// cache), parses them into a fresh TKVCore, writes the state report, renders the main
// page and the drive pages, and keeps the texts for the HTTP threads, which reach them
// only through the TServedTexts of its environment (collect/served_content.h), under
// PageLock.
// Every publication takes PageLock for one assignment; reading, parsing and rendering
// run outside it, and nothing is logged while it is held.
//
// Threads: the constructor, Timeout and Configure on the service thread before the
// timer runs; OnTick and everything it calls on the main loop thread (the timer hands
// each tick over and waits); the destructor on the service thread: it unregisters the
// texts first, ends a source command that is running (with the processes it started), so
// a stop never waits for a hung utility, then stops the timer after the tick in progress,
// which publishes nothing more.
//
// Configure takes from the settings (base/settings.h): [scaner] restart_timeout and
// source_timeout, the [source] lines (a ".txt" path or a command line), [health]
// drive_temperature_max and the [notify] keys.
//
// Each cycle also judges the controller's health (collect/health_tracker.h): the verdict
// and the SMART verdicts go to the pages, the metrics and the JSON document, and every
// change since the last good cycle writes a "CHANGE <severity>: ..." core-log line and a line
// of the changes file; the last good state is saved for the next start
// (collect/changes_journal.h). A cycle whose changes reach [notify] min_severity runs the
// notification command on a thread of its own (collect/notify_command.h).
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/ini_file.h"
#include "base/settings.h"
#include "collect/changes_journal.h"
#include "collect/collect_env.h"
#include "collect/health_tracker.h"
#include "collect/notify_command.h"
#include "served/served_content.h"
#include "collect/source_reader.h"
#include "collect/thread_timer.h"
#include "platform/event_log.h"
#include "pages/drive_page_cache.h"
#include "report/collection_health.h"

namespace kv {

class TKVCore;
class TKVSmartNamesList;

// Drive page keys of a state report: "channel_id" of every existing [hdd_N] section for
// N in 0 .. [hdds] count - 1, then the stand-in "-1_-1".
std::vector<std::string> DrivePageKeys(const TMemIniFile& report);

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
  void StartData();
  // Renders every drive page of the cycle's model (keys from its state report, `report`);
  // each replaces its older version under PageLock as soon as it is rendered.
  // `verdicts` are the SMART verdicts of the model's drives, shown on their pages.
  void RefreshDrivePages(TKVCore& core, const TMemIniFile& report,
                         const std::vector<TSmartVerdict>* verdicts = nullptr);

  bool TimerEnabled() const { return timer_->Enabled(); }
  int64_t NextScan() const { return next_scan_; }
  int64_t RestartBase() const { return restart_base_; }
  int64_t RestartTimeout() const { return restart_timeout_; }
  const std::string& Version() const { return version_; }

  // ServedContent: called with PageLock held.
  std::string MainPageLocked() const override;
  std::shared_ptr<const std::string> SharedMainPageLocked() const override;
  std::string ConfigTextLocked() const override;
  std::string ReportTextLocked() const override;
  std::string DrivePageLocked(const std::string& key) const override;
  void BuildSupportArchiveLocked(std::string& zip) const override;
  std::string MetricsTextLocked() const override;
  std::string StateJsonLocked() const override;

  // How the last cycle went; written and read on the collecting thread only.
  const CollectionHealth& Health() const { return health_; }

  // The notification command as configured (created by Configure).
  TNotifyCommand& Notifier() { return *notify_; }
  // Runs the notification command for a cycle's changes, after its pages are published;
  // returns at once (collecting thread).
  void NotifyChanges(THealth verdict, const std::vector<TChange>& changes, int64_t now);

 private:
  void RestartCheck(int64_t now);
  // Reads source `index` (kSourceConfig, ...) into a text and records how it went in
  // health_; a command's output that stops short is marked incomplete.
  std::string ReadOne(int index, const std::string& source);
  // Renders the metrics text and the JSON state document of `core` and publishes them;
  // `stale_reason` says why `core` is the last good model rather than this cycle's.
  void PublishMachineTexts(const TKVCore& core, const TCycleHealth* cycle = nullptr,
                           const std::string& stale_reason = std::string());
  // A Warning reason for SMART data kept from an earlier cycle because this one's document
  // could not be read whole (`failure`: "smart source timed out").
  void AddStaleSmartReason(THealthVerdict& verdict, const std::string& failure, int64_t now) const;
  // Swaps `value` into a field the HTTP threads read: O(1) under PageLock.
  void Publish(std::string& field, std::string& value);

  TCollectEnv& env_;
  TServedTexts& served_;  // env_.Served()
  std::shared_ptr<const TKVSmartNamesList> smart_names_;  // from env_.Resources(), handed to every core
  int64_t next_scan_ = 0;
  int64_t restart_base_ = 0;
  int64_t restart_timeout_ = DefaultSettings().restart_timeout;
  bool restart_launched_ = false;
  std::string version_;
  std::string config_source_, smart_source_, task_source_, stat_source_, cache_source_;
  platform::ConsoleProcessCancel cancel_;  // set by the destructor, from the service thread
  SourceReadOptions read_options_;
  CollectionHealth health_;
  THealthTracker tracker_;
  TChangesJournal journal_;
  bool state_loaded_ = false;
  int64_t smart_collected_at_ = 0;  // local Unix seconds of the SMART data the model holds
  std::vector<TChangeLine> recent_changes_;  // the last changes, oldest first
  std::array<uint64_t, 3> change_totals_{};  // changes told since the start, by severity
  std::unique_ptr<TNotifyCommand> notify_;

  // Guarded by PageLock.
  std::shared_ptr<const std::string> main_page_ = std::make_shared<const std::string>();  // never null
  std::string config_text_, smart_text_, task_text_, stat_text_, cache_text_;
  std::shared_ptr<const std::string> report_text_;  // shared with the pages' reader of it
  std::string metrics_text_, state_json_;
  THDDHTMLCacheList drive_pages_;

  std::unique_ptr<TThread_timer> timer_;
};

}  // namespace kv
