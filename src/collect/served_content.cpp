#include "collect/served_content.h"

namespace kv {

template <class Fn>
bool TServedTexts::WithContent(std::string& out, Fn&& fn) const {
  out.clear();
  try {
    std::lock_guard<std::mutex> lock(lock_);
    if (content_ == nullptr) return false;
    fn(*content_);
    return true;
  } catch (...) {
    // A failed copy serves an empty text; the lock is released by the guard.
    out.clear();
    return true;
  }
}

void TServedTexts::Register(ServedContent* content) {
  std::lock_guard<std::mutex> lock(lock_);
  content_ = content;
}

bool TServedTexts::CopyMainPage(std::string& page) const {
  return WithContent(page, [&](const ServedContent& c) { page = c.MainPageLocked() + " "; });
}

bool TServedTexts::ShareMainPage(TSharedText& page) const {
  page = TSharedText();
  try {
    std::string copy;
    {
      std::lock_guard<std::mutex> lock(lock_);
      if (content_ == nullptr) return false;
      page.text = content_->SharedMainPageLocked();
      if (!page.text) copy = content_->MainPageLocked();
    }
    if (!page.text) page.text = std::make_shared<const std::string>(std::move(copy));
    page.tail = " ";
  } catch (...) {
    // A failed copy serves an empty text, as CopyMainPage does.
    page = TSharedText();
  }
  return true;
}

bool TServedTexts::CopyConfigText(std::string& text) const {
  return WithContent(text, [&](const ServedContent& c) { text = c.ConfigTextLocked() + " "; });
}

bool TServedTexts::CopyReportText(std::string& text) const {
  return WithContent(text, [&](const ServedContent& c) { text = c.ReportTextLocked() + " "; });
}

bool TServedTexts::CopyDrivePage(const std::string& key, std::string& page) const {
  return WithContent(page, [&](const ServedContent& c) { page = c.DrivePageLocked(key); });
}

bool TServedTexts::CopySupportArchive(std::string& zip) const {
  return WithContent(zip, [&](const ServedContent& c) { c.BuildSupportArchiveLocked(zip); });
}

bool TServedTexts::CopyMetricsText(std::string& text) const {
  return WithContent(text, [&](const ServedContent& c) { text = c.MetricsTextLocked(); });
}

bool TServedTexts::CopyStateJson(std::string& text) const {
  return WithContent(text, [&](const ServedContent& c) { text = c.StateJsonLocked(); });
}

}  // namespace kv
