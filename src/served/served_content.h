#pragma once
// The texts the collection publishes and the HTTP threads serve.
//
// TServedTexts is where the two meet. The service owns one for the life of the process and
// hands it to the scan list manager (through its TCollectEnv) and to the listener. The
// manager implements ServedContent and registers itself once created; it unregisters
// before it is freed. Registration and every accessor run under PageLock, so a request
// never reaches a freed manager: between stop and process end the accessors simply report
// that nothing is served.
//
// The content serves 1 to kMaxControllers controllers, numbered from 1. Controller 1 is
// the one the root folder's names have always meant; controller N's pages live under
// "/cN/" (http/http_router.cpp).
//
// PageLock guards every text the HTTP threads read from the collection. Hold it only for a
// copy or a publication; never take another lock while holding it and never write the core
// log under it. Nothing slow runs under it: the main page and the support archive's raw
// texts leave it as shared pointers, and the archive is built after it is released.
//
// This layer sits below collect/ and http/ and uses base/ and the standard library only.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "base/settings.h"  // kMaxControllers

namespace kv {

// What the HTTP threads serve of one controller's main page: the published page with the
// controller bar put in at `bar_at` when served, then the tail " ". The bar is empty (or
// null) with one controller. `page` and `bar` are shared with the collection, never copied;
// null reads as empty. `bar_at` beyond the page's end reads as its end.
struct TSharedPage {
  std::shared_ptr<const std::string> page;
  std::size_t bar_at = 0;
  std::shared_ptr<const std::string> bar;
};

// The raw texts of one controller's last cycle, shared with the collection, for the
// support archive, and the moment to stamp the archive with.
struct TArchiveSources {
  // The order of `texts`: the five sources of a cycle.
  enum Text { kConfig, kSmart, kTask, kStat, kCache, kTextCount };
  std::array<std::shared_ptr<const std::string>, kTextCount> texts;  // null reads as empty
  std::string version;  // the program version the archive comment names
  // The moment: local Unix seconds (platform/clock.h: local date and time from 1970-01-01,
  // no zone correction), and the zone bias in force then (minutes to add to local time for
  // UTC, as platform::ZoneBiasMinutes()) for the members' NTFS times.
  int64_t local_time = 0;
  int zone_bias_minutes = 0;
};

class ServedContent {
 public:
  virtual ~ServedContent() = default;
  // Every member is called with PageLock held. None may take PageLock, log, or block on I/O.
  // `controller` is always 1..ControllerCountLocked(): TServedTexts checks it first.

  // The controllers served, 1..kMaxControllers (values outside are clamped to it).
  virtual int ControllerCountLocked() const = 0;
  // Whether a number within the count is watched: a [source_N] section may be skipped
  // below one that is not. Unwatched numbers get the 404 page.
  virtual bool ServesLocked(int /*controller*/) const { return true; }
  virtual TSharedPage MainPageLocked(int controller) const = 0;
  // The raw configuration listing and the state report (INI) as published, without the tail.
  virtual std::string ConfigTextLocked(int controller) const = 0;
  virtual std::string ReportTextLocked(int controller) const = 0;
  // The drive page as served; `key` is the requested name without its "hdd_" prefix.
  virtual std::string DrivePageLocked(int controller, const std::string& key) const = 0;
  // Pointers only: the archive is built from them after PageLock is released.
  virtual TArchiveSources ArchiveSourcesLocked(int controller) const = 0;
  // The metrics text and the JSON state document of the last cycle, all controllers in one
  // text ("" before the first).
  virtual std::string MetricsTextLocked() const { return std::string(); }
  virtual std::string StateJsonLocked() const { return std::string(); }
};

class TServedTexts {
 public:
  TServedTexts() = default;
  TServedTexts(const TServedTexts&) = delete;
  TServedTexts& operator=(const TServedTexts&) = delete;

  std::mutex& PageLock() const { return lock_; }

  // nullptr unregisters. Takes PageLock.
  void Register(ServedContent* content);

  // Accessors for the HTTP threads. Each takes PageLock for the copy. They return false
  // when no content is registered (before start, after stop) or `controller` is not one
  // it serves; the out value is then empty. A copy that fails (out of memory) gives an
  // empty text and true.

  // The controllers served; 0 while nothing is registered.
  int ControllerCount() const;
  // `controller` is 1..ControllerCount().
  bool HasController(int controller) const;

  // The main page in its parts, with the bar and its place clamped to the page; the bytes
  // served are page[0, bar_at) + bar + page[bar_at, end) + " ".
  bool ShareMainPage(int controller, TSharedPage& page) const;
  // The same bytes joined in one string.
  bool CopyMainPage(int controller, std::string& page) const;
  bool CopyConfigText(int controller, std::string& text) const;  // ConfigText + " "
  bool CopyReportText(int controller, std::string& text) const;  // ReportText + " "
  bool CopyDrivePage(int controller, const std::string& key, std::string& page) const;
  // The pointers of the archive's texts; the archive is built by the caller, unlocked.
  bool ShareArchiveSources(int controller, TArchiveSources& sources) const;
  bool CopyMetricsText(std::string& text) const;  // MetricsText as rendered
  bool CopyStateJson(std::string& text) const;    // StateJson as rendered

  // The bytes ShareMainPage's parts stand for, joined (for tests and copies).
  static std::string JoinPage(const TSharedPage& page);
  // Their count on the wire.
  static std::size_t PageSize(const TSharedPage& page);

 private:
  // Runs `fn` under PageLock when content is registered and serves `controller`
  // (0: a text of all controllers, no check).
  template <class Out, class Fn>
  bool WithContent(int controller, Out& out, Fn&& fn) const;

  mutable std::mutex lock_;
  ServedContent* content_ = nullptr;  // guarded by lock_
};

}  // namespace kv
