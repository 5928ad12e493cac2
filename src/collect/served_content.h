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
// PageLock guards every text the HTTP threads read from the collection. Hold it only for a
// copy or a publication; never take another lock while holding it and never write the core
// log under it.
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace kv {

class ServedContent {
 public:
  virtual ~ServedContent() = default;
  // Called with PageLock held. Must not take PageLock, log, or block on I/O.
  virtual std::string MainPageLocked() const = 0;
  virtual std::string ConfigTextLocked() const = 0;
  virtual std::string ReportTextLocked() const = 0;
  // `key` is the requested name without its "hdd_" prefix.
  virtual std::string DrivePageLocked(const std::string& key) const = 0;
  virtual void BuildSupportArchiveLocked(std::string& zip) const = 0;
  // The metrics text and the JSON state document of the last cycle ("" before the first).
  virtual std::string MetricsTextLocked() const { return std::string(); }
  virtual std::string StateJsonLocked() const { return std::string(); }
  // The main page as published, for content that keeps it in a shared string: a request
  // then takes a reference instead of a copy of half a megabyte under PageLock.
  // nullptr: MainPageLocked is copied.
  virtual std::shared_ptr<const std::string> SharedMainPageLocked() const { return nullptr; }
};

// A served text without a copy of its own: the text as published, shared with the
// collection, and the bytes that follow it on the wire.
struct TSharedText {
  std::shared_ptr<const std::string> text;
  std::string_view tail;
  std::size_t size() const { return (text ? text->size() : 0) + tail.size(); }
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
  // when no content is registered (before start, after stop); the out text is then empty.
  bool CopyMainPage(std::string& page) const;     // MainPage + " "
  // The same bytes as CopyMainPage, as the published page and the tail " ". Copies the page
  // only when the content does not share it (SharedMainPageLocked).
  bool ShareMainPage(TSharedText& page) const;
  bool CopyConfigText(std::string& text) const;   // ConfigText + " "
  bool CopyReportText(std::string& text) const;   // ReportText + " "
  bool CopyDrivePage(const std::string& key, std::string& page) const;
  bool CopySupportArchive(std::string& zip) const;
  bool CopyMetricsText(std::string& text) const;  // MetricsText as rendered
  bool CopyStateJson(std::string& text) const;    // StateJson as rendered

 private:
  template <class Fn>
  bool WithContent(std::string& out, Fn&& fn) const;

  mutable std::mutex lock_;
  ServedContent* content_ = nullptr;  // guarded by lock_
};

}  // namespace kv
