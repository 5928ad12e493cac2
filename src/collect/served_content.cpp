#include "collect/served_content.h"

#include "collect/page_lock.h"

namespace kv {
namespace {

ServedContent* g_content = nullptr;  // guarded by PageLock

template <class Fn>
bool WithContent(std::string& out, Fn&& fn) {
  out.clear();
  try {
    std::lock_guard<std::mutex> lock(PageLock());
    if (g_content == nullptr) return false;
    fn(*g_content);
    return true;
  } catch (...) {
    // A failed copy serves an empty text; the lock is released by the guard.
    out.clear();
    return true;
  }
}

}  // namespace

std::mutex& PageLock() {
  static std::mutex lock;
  return lock;
}

void RegisterServedContent(ServedContent* content) {
  std::lock_guard<std::mutex> lock(PageLock());
  g_content = content;
}

bool CopyMainPage(std::string& page) {
  return WithContent(page, [&](const ServedContent& c) { page = c.MainPageLocked() + " "; });
}

bool CopyConfigText(std::string& text) {
  return WithContent(text, [&](const ServedContent& c) { text = c.ConfigTextLocked() + " "; });
}

bool CopyReportText(std::string& text) {
  return WithContent(text, [&](const ServedContent& c) { text = c.ReportTextLocked() + " "; });
}

bool CopyDrivePage(const std::string& key, std::string& page) {
  return WithContent(page, [&](const ServedContent& c) { page = c.DrivePageLocked(key); });
}

bool CopySupportArchive(std::string& zip) {
  return WithContent(zip, [&](const ServedContent& c) { c.BuildSupportArchiveLocked(zip); });
}

bool CopyMetricsText(std::string& text) {
  return WithContent(text, [&](const ServedContent& c) { text = c.MetricsTextLocked(); });
}

bool CopyStateJson(std::string& text) {
  return WithContent(text, [&](const ServedContent& c) { text = c.StateJsonLocked(); });
}

}  // namespace kv
