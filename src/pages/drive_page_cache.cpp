#include "pages/drive_page_cache.h"

#include <algorithm>
#include <utility>

#include "base/text_case.h"
#include "pages/page_rows.h"
#include "pages/template_engine.h"
#include "resources/resource_store.h"

namespace kv {
namespace {

constexpr const char* kFrameKey = "-1_-1";

std::string EmbeddedLines(const TMFileList& files, const char* name) {
  std::string bytes;
  if (!files.Find(name, bytes)) return std::string();
  return NormaliseLines(bytes);
}

// Every "@u@", in any letter case, replaced by `footer`.
std::string ReplaceFooterMark(const std::string& text, const std::string& footer) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    if (pos + 3 <= text.size() && text[pos] == '@' && LowerAscii(text[pos + 1]) == 'u' && text[pos + 2] == '@') {
      out += footer;
      pos += 3;
    } else {
      out += text[pos++];
    }
  }
  return out;
}

}  // namespace

THDDHTMLCacheList::THDDHTMLCacheList(const std::string& version, const TMFileList& files)
    : header_(EmbeddedLines(files, "tpl_header.txt")), end_(EmbeddedLines(files, "tpl_end.txt")), version_(version) {}

THDDHTMLCacheList::THDDHTMLCacheList(const std::string& version, std::string header, std::string end)
    : header_(std::move(header)), end_(std::move(end)), version_(version) {}

void THDDHTMLCacheList::Add(std::string key, std::string alternative_key, std::string body, int64_t now) {
  items_.push_back(THDDHTMLCacheItem{std::move(key), std::move(alternative_key), std::move(body), PageTimeStamp(now)});
}

THDDHTMLCacheItem THDDHTMLCacheList::Refresh(THDDHTMLCacheItem item) {
  item.Refreshed = refresh_;
  item.Order = refreshed_;
  auto stale = [&](const THDDHTMLCacheItem& old) { return old.Refreshed != refresh_ && old.Key == item.Key; };
  // Drives keep their places from cycle to cycle, so the slot of the same rank usually holds the key.
  auto slot = refreshed_ < items_.size() && stale(items_[refreshed_])
                  ? items_.begin() + static_cast<std::ptrdiff_t>(refreshed_)
                  : std::find_if(items_.begin(), items_.end(), stale);
  ++refreshed_;
  if (slot == items_.end()) {
    items_.push_back(std::move(item));
    return THDDHTMLCacheItem{};
  }
  std::swap(*slot, item);
  return item;
}

void THDDHTMLCacheList::EndRefresh() {
  std::erase_if(items_, [&](const THDDHTMLCacheItem& item) { return item.Refreshed != refresh_; });
  auto by_order = [](const THDDHTMLCacheItem& a, const THDDHTMLCacheItem& b) { return a.Order < b.Order; };
  if (!std::is_sorted(items_.begin(), items_.end(), by_order)) std::sort(items_.begin(), items_.end(), by_order);
  ++refresh_;
  refreshed_ = 0;
}

const THDDHTMLCacheItem* THDDHTMLCacheList::Find(const std::string& lower_key) const {
  for (const THDDHTMLCacheItem& item : items_)
    if (item.Key == lower_key || (!item.AlternativeKey.empty() && item.AlternativeKey == lower_key))
      return &item;
  return nullptr;
}

std::string THDDHTMLCacheList::Get(const std::string& key) const {
  const std::string lower = LowerCaseAscii(key);
  const THDDHTMLCacheItem* item = Find(lower);
  if (item == nullptr) return lower == kFrameKey ? std::string() : Get(kFrameKey);
  const std::string footer = FooterLine(item->Updated, version_);
  return ReplaceFooterMark(header_ + " " + item->Body + " " + end_, footer);
}

}  // namespace kv
