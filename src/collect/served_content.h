#pragma once
// The texts the collection publishes and the HTTP threads serve.
//
// The scan list manager implements ServedContent and registers itself once created;
// it unregisters before it is freed. Registration and every accessor below run under
// PageLock, so a request never reaches a freed manager: between stop and process end the
// accessors simply report that nothing is served.
#include <string>

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
};

// nullptr unregisters. Takes PageLock.
void RegisterServedContent(ServedContent* content);

// Accessors for the HTTP threads. Each takes PageLock for the copy. They return false
// when no content is registered (before start, after stop); the out text is then empty.
bool CopyMainPage(std::string& page);          // MainPage + " "
bool CopyConfigText(std::string& text);        // ConfigText + " "
bool CopyReportText(std::string& text);        // ReportText + " "
bool CopyDrivePage(const std::string& key, std::string& page);
bool CopySupportArchive(std::string& zip);
bool CopyMetricsText(std::string& text);       // MetricsText as rendered
bool CopyStateJson(std::string& text);         // StateJson as rendered

}  // namespace kv
