#pragma once
// THDDHTMLCacheList: the drive pages of the last collection cycle, assembled on request.
//
// Each item keeps a rendered body with its key (channel + "_" + id, or "-1_-1" for the
// empty frame), the drive's lower-cased serial number as alternative key, and the local
// time it was made. Get wraps the body in the common header and footer.
//
// Not synchronised: the scan list manager refreshes the served list on the collecting
// thread under PageLock, one page at a time (Refresh, then EndRefresh), and HTTP threads
// call Get under PageLock. A lookup sees each page whole, old or new; the old and the new
// set of pages are never held together, which at hundreds of drives is megabytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kv {

class TMFileList;

struct THDDHTMLCacheItem {
  std::string Key;
  std::string AlternativeKey;
  std::string Body;
  std::string Updated;  // "hh:nn:ss dd/mm/yyyy"
  // Kept by THDDHTMLCacheList::Refresh: the refresh that last put the item in, and its
  // place in that refresh.
  unsigned Refreshed = 0;
  size_t Order = 0;
};

class THDDHTMLCacheList {
 public:
  // Reads tpl_header.txt and tpl_end.txt from `files` (empty when absent).
  THDDHTMLCacheList(const std::string& version, const TMFileList& files);
  // The header and end texts given directly.
  explicit THDDHTMLCacheList(const std::string& version = std::string(), std::string header = std::string(),
                             std::string end = std::string());

  void SetVersion(const std::string& version) { version_ = version; }
  void Clear() { items_.clear(); }
  // Appends an item stamped with `now` (local Unix seconds); no check for an existing key.
  void Add(std::string key, std::string alternative_key, std::string body, int64_t now);
  void AddStamped(THDDHTMLCacheItem item) { items_.push_back(std::move(item)); }
  // The page for `key` (or serial number) in any letter case; falls back to "-1_-1";
  // empty when even that is missing. An empty alternative key (a drive without serial
  // number, the frame) never matches, so an empty request gets the frame.
  std::string Get(const std::string& key) const;
  int Count() const { return static_cast<int>(items_.size()); }
  // A new set of pages, put in one at a time while the list is served: `item` takes the
  // place of the first item with its key not yet refreshed this time, or is appended. The
  // item it replaces is handed back, to be freed outside the lock.
  THDDHTMLCacheItem Refresh(THDDHTMLCacheItem item);
  // Ends the set: drops the items it did not refresh and puts the rest in the order they
  // came, as if the list had been built anew.
  void EndRefresh();

 private:
  const THDDHTMLCacheItem* Find(const std::string& lower_key) const;

  std::vector<THDDHTMLCacheItem> items_;
  unsigned refresh_ = 1;     // the set being put in; items from Add carry 0
  size_t refreshed_ = 0;     // items of this set so far
  std::string header_;
  std::string end_;
  std::string version_;
};

}  // namespace kv
