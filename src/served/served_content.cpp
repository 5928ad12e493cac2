#include "served/served_content.h"

#include <algorithm>
#include <string_view>

namespace kv {
namespace {

constexpr char kTail[] = " ";

// The content's count, within 1..kMaxControllers. Called with PageLock held.
int CountOf(const ServedContent& content) {
  return std::clamp(content.ControllerCountLocked(), 1, kMaxControllers);
}

// Whether `controller` is one the content serves. Called with PageLock held.
bool Serves(const ServedContent& content, int controller) {
  return controller >= 1 && controller <= CountOf(content) && content.ServesLocked(controller);
}

std::string_view View(const std::shared_ptr<const std::string>& text) {
  return text ? std::string_view(*text) : std::string_view();
}

}  // namespace

template <class Out, class Fn>
bool TServedTexts::WithContent(int controller, Out& out, Fn&& fn) const {
  out = Out();
  try {
    std::lock_guard<std::mutex> lock(lock_);
    if (content_ == nullptr) return false;
    if (controller != 0 && !Serves(*content_, controller)) return false;
    fn(*content_);
    return true;
  } catch (...) {
    // A failed copy serves an empty text; the lock is released by the guard.
    out = Out();
    return true;
  }
}

void TServedTexts::Register(ServedContent* content) {
  std::lock_guard<std::mutex> lock(lock_);
  content_ = content;
}

int TServedTexts::ControllerCount() const {
  try {
    std::lock_guard<std::mutex> lock(lock_);
    return content_ == nullptr ? 0 : CountOf(*content_);
  } catch (...) {
    return 0;
  }
}

bool TServedTexts::HasController(int controller) const {
  try {
    std::lock_guard<std::mutex> lock(lock_);
    return content_ != nullptr && Serves(*content_, controller);
  } catch (...) {
    return false;
  }
}

bool TServedTexts::ShareMainPage(int controller, TSharedPage& page) const {
  if (controller < 1) return page = TSharedPage(), false;
  const bool served = WithContent(controller, page, [&](const ServedContent& c) { page = c.MainPageLocked(controller); });
  // Clamped outside the lock: the page cannot change under a shared pointer.
  page.bar_at = std::min(page.bar_at, View(page.page).size());
  return served;
}

bool TServedTexts::CopyMainPage(int controller, std::string& page) const {
  page.clear();
  TSharedPage shared;
  if (!ShareMainPage(controller, shared)) return false;
  try {
    page = JoinPage(shared);
  } catch (...) {
    page.clear();
  }
  return true;
}

bool TServedTexts::CopyConfigText(int controller, std::string& text) const {
  if (controller < 1) return text.clear(), false;
  return WithContent(controller, text, [&](const ServedContent& c) { text = c.ConfigTextLocked(controller) + kTail; });
}

bool TServedTexts::CopyReportText(int controller, std::string& text) const {
  if (controller < 1) return text.clear(), false;
  return WithContent(controller, text, [&](const ServedContent& c) { text = c.ReportTextLocked(controller) + kTail; });
}

bool TServedTexts::CopyDrivePage(int controller, const std::string& key, std::string& page) const {
  if (controller < 1) return page.clear(), false;
  return WithContent(controller, page, [&](const ServedContent& c) { page = c.DrivePageLocked(controller, key); });
}

bool TServedTexts::ShareArchiveSources(int controller, TArchiveSources& sources) const {
  if (controller < 1) return sources = TArchiveSources(), false;
  return WithContent(controller, sources,
                     [&](const ServedContent& c) { sources = c.ArchiveSourcesLocked(controller); });
}

bool TServedTexts::CopyMetricsText(std::string& text) const {
  return WithContent(0, text, [&](const ServedContent& c) { text = c.MetricsTextLocked(); });
}

bool TServedTexts::CopyStateJson(std::string& text) const {
  return WithContent(0, text, [&](const ServedContent& c) { text = c.StateJsonLocked(); });
}

std::string TServedTexts::JoinPage(const TSharedPage& page) {
  const std::string_view text = View(page.page);
  const std::size_t at = std::min(page.bar_at, text.size());
  std::string joined;
  joined.reserve(PageSize(page));
  joined.append(text.substr(0, at)).append(View(page.bar)).append(text.substr(at)).append(kTail);
  return joined;
}

std::size_t TServedTexts::PageSize(const TSharedPage& page) {
  return View(page.page).size() + View(page.bar).size() + (sizeof kTail - 1);
}

}  // namespace kv
