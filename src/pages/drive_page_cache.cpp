#include "pages/drive_page_cache.h"

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

void THDDHTMLCacheList::Add(std::string key, std::string alternative_key, std::string body) {
  items_.push_back(THDDHTMLCacheItem{std::move(key), std::move(alternative_key), std::move(body), PageTimeStamp()});
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
