#include "parse/stats_parser.h"

#include <string>
#include <utility>
#include <vector>

#include "base/text_case.h"
#include "model/kv_core.h"
#include "parse/attribute_lines.h"

namespace kv {

namespace {

struct TControllerHeader {
  std::string DeviceName;
  std::string SerialNumber;
  int32_t Time = 0;
};

// <controllerlog:01 devicename="..." time="1765200000" serialnumber="...">
TControllerHeader ReadHeader(std::string_view controller) {
  TControllerHeader h;
  std::vector<std::string> lines;
  ElementAttributesToLines(controller, "controllerlog", lines);
  std::string time_text;
  for (const auto& l : lines) {
    if (Contains(l, "devicename: "))
      h.DeviceName = ValueAfterNoGt(l, "devicename: ");
    else if (Contains(l, "time: "))
      time_text = ValueAfterNoGt(l, "time: ");
    else if (Contains(l, "serialnumber: "))
      h.SerialNumber = ValueAfterNoGt(l, "serialnumber: ");
  }
  // A 64-bit decimal; only a positive one counts, and its low 32 bits are kept.
  bool negative = false;
  size_t i = 0;
  if (!time_text.empty() && (time_text[0] == '+' || time_text[0] == '-'))
    negative = time_text[i++] == '-';
  uint64_t value = 0;
  bool valid = i < time_text.size();
  for (; valid && i < time_text.size(); ++i) {
    const char c = time_text[i];
    if (c < '0' || c > '9' || value > (static_cast<uint64_t>(INT64_MAX) - (c - '0')) / 10)
      valid = false;
    else
      value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (valid && !negative && value > 0)
    h.Time = static_cast<int32_t>(static_cast<uint32_t>(value & 0xFFFFFFFFu));
  return h;
}

// <controllerstats:01 statsversion="3" secondssincelastupdate="86400" >
void ReadControllerStats(std::string_view controller, std::string& version, int32_t& since) {
  int count = 0;
  std::string numbered;
  NumberElements(controller, "controllerstats", count, numbered);
  std::vector<std::string> lines;
  for (std::string_view e : ExtractElements(numbered, "controllerstats", count)) {
    ElementAttributesToLines(e, "controllerstats", lines);
    for (const auto& l : lines) {
      if (Contains(l, "statsversion: "))
        version = ValueAfter(l, "statsversion: ");
      else if (Contains(l, "secondssincelastupdate: "))
        since = ToInt(ValueAfter(l, "secondssincelastupdate: "), 0);
    }
  }
}

using TKeyTargets = std::vector<std::pair<std::string_view, std::string*>>;

// Each line of the start tag `name` sets the target of the first key it holds.
void ReadKeys(std::string_view element, std::string_view name, const TKeyTargets& keys) {
  std::vector<std::string> lines;
  ElementAttributesToLines(element, name, lines);
  for (const auto& l : lines)
    for (const auto& [key, target] : keys)
      if (Contains(l, key)) {
        *target = ValueAfter(l, key);
        break;
      }
}

// The sixteen cache counters of one logical drive, held by both kinds of record.
void ReadCacheCounters(std::string_view drive, TKVCacheCounters& r) {
  int count = 0;
  std::string numbered;
  NumberElements(drive, "cachestatistics", count, numbered);
  if (count < 1) return;
  std::string k(ExtractElements(numbered, "cachestatistics", 1)[0]);
  for (const char* name : {"uncachedios", "dramcachestats", "ssdcachestats"}) {
    int expanded = 0;
    std::string next;
    NumberSelfClosing(k, name, expanded, next);
    k.swap(next);
  }
  if (!Contains(k, "<uncachedios:00") || !Contains(k, "<dramcachestats:00")) return;
  ReadKeys(k, "uncachedios",
           {{"uncachedreads: ", &r.UncachedReads}, {"uncachedwrites: ", &r.UncachedWrites}});
  ReadKeys(k, "dramcachestats",
           {{"dramfullhitreads: ", &r.DramFullHitReads},
            {"dramwaithitreads: ", &r.DramWaitHitReads},
            {"dramhybridhitreads: ", &r.DramHybridHitReads},
            {"dramcachewrites: ", &r.DramCacheWrites},
            {"dramflushwaitwrites: ", &r.DramFlushWaitWrites},
            {"dramcacheflushes: ", &r.DramCacheFlushes}});
  if (!Contains(k, "<ssdcachestats:00")) return;
  ReadKeys(k, "ssdcachestats",
           {{"ssdhitreads: ", &r.SsdHitReads},
            {"ssdhitwrites: ", &r.SsdHitWrites},
            {"ssdpageupdates: ", &r.SsdPageUpdates},
            {"ssdpagedirectallocations: ", &r.SsdPageDirectAllocations},
            {"ssdfetches: ", &r.SsdFetches},
            {"ssdflushes: ", &r.SsdFlushes},
            {"ssdcachevalidpages: ", &r.SsdCacheValidPages},
            {"ssdcachedirtypages: ", &r.SsdCacheDirtyPages}});
}

// The traffic keys of a logical drive start tag, tested in this order, the first one a
// line holds winning; "ttlblkread"/"ttlblkwrite" without a unit are read and dropped.
struct TTrafficKey {
  std::string_view key;
  bool write;
  std::string_view unit;  // empty: value not kept
};
constexpr TTrafficKey kTrafficKeys[] = {
    {"ttlblkreadmb: ", false, "MB"}, {"ttlblkwritemb: ", true, "MB"},
    {"ttlblkreadkb: ", false, "KB"}, {"ttlblkwritekb: ", true, "KB"},
    {"ttlblkreadgb: ", false, "GB"}, {"ttlblkwritegb: ", true, "GB"},
    {"ttlblkreadtb: ", false, "TB"}, {"ttlblkwritetb: ", true, "TB"},
    {"ttlblkreadpb: ", false, "PB"}, {"ttlblkwritepb: ", true, "PB"},
    {"ttlblkread: ", false, ""},     {"ttlblkwrite: ", true, ""},
};

// <logicaldrivestats:01 id="0" numreads="10" numwrites="5" ttlblkreadgb="12" ...>
void ReadTraffic(std::string_view drive, TKVStatsLDP& r, std::string& id) {
  std::vector<std::string> names;
  ChildElementNames(drive, names);
  TAttributeLinesCache tags(drive);
  for (const auto& name : names) {
    if (TrimBlanks(name) != "logicaldrivestats") continue;
    for (const auto& l : tags.Lines(name)) {
      bool matched = false;
      for (const TTrafficKey& k : kTrafficKeys) {
        if (!Contains(l, k.key)) continue;
        matched = true;
        if (k.unit.empty()) break;
        (k.write ? r.BlocksWritten : r.BlocksRead) = ValueAfter(l, k.key);
        (k.write ? r.BlocksWrittenUnit : r.BlocksReadUnit) = std::string(k.unit);
        break;
      }
      if (matched) continue;
      if (Contains(l, "numreads: "))
        r.NumReads = ValueAfter(l, "numreads: ");
      else if (Contains(l, "numwrites: "))
        r.NumWrites = ValueAfter(l, "numwrites: ");
      else if (Contains(l, "id: "))
        id = ValueAfter(l, "id: ");
    }
  }
}

// Utility versions differ in how they write an empty element. The elements read as start/end
// pairs may come as "<x .../>", those read as empty elements as "<x ...></x>"; each is brought
// to the form it is read in, so both spellings give the same values.
constexpr std::string_view kPairElements[] = {"controllerlog", "controllerstats",
                                              "logicaldrivestats", "cachestatistics"};
constexpr std::string_view kEmptyElements[] = {"physicaldrivestats", "overallssdcachestats",
                                               "uncachedios", "dramcachestats", "ssdcachestats"};

std::string LowerCaseCanonical(const std::string& text) {
  std::string low = LowerCaseAscii(text);
  for (std::string_view name : kPairElements) low = PairSelfClosing(low, name);
  for (std::string_view name : kEmptyElements) low = SelfCloseEmptyPairs(low, name);
  return low;
}

template <typename Fn>
void EachController(const std::string& text, TReadBudget& budget, Fn fn) {
  int count = 0;
  std::string numbered;
  NumberElements(LowerCaseCanonical(text), "controllerlog", count, numbered);
  for (std::string_view c : ExtractElements(numbered, "controllerlog", count)) {
    if (c.empty()) continue;
    if (!budget.Spend(c.size())) return;
    fn(c);
  }
}

template <typename Fn>
void EachLogicalDrive(std::string_view controller, TReadBudget& budget, Fn fn) {
  int count = 0;
  std::string numbered;
  NumberElements(controller, "logicaldrivestats", count, numbered);
  for (std::string_view l : ExtractElements(numbered, "logicaldrivestats", count)) {
    if (!budget.Spend(l.size())) return;
    fn(l);
  }
}

}  // namespace

void ParseLogStats(const std::string& text, TKVCore& core) {
  try {
    core.Stats.Clear();
    TReadBudget budget(text.size());
    EachController(text, budget, [&](std::string_view c) {
      const TControllerHeader h = ReadHeader(c);
      if (!h.DeviceName.empty() && !h.SerialNumber.empty()) {
        core.Stats.DeviceName = h.DeviceName;
        core.Stats.SerialNumber = h.SerialNumber;
        core.Stats.Time = h.Time;
      }
      ReadControllerStats(c, core.Stats.StatsVersion, core.Stats.SecondsSinceLastUpdate);
      EachLogicalDrive(c, budget, [&](std::string_view l) {
        TKVStatsLDP r;
        std::string id;
        ReadCacheCounters(l, r);
        ReadTraffic(l, r, id);
        if (id.empty()) return;
        r.Id = ToInt(id, -1);
        core.Stats.LDStats.Add(r);
      });
      // <physicaldrivestats channel="0" id="4" sensekey4cnt="0" ... /> (empty elements)
      int count = 0;
      std::string expanded;
      NumberSelfClosing(c, "physicaldrivestats", count, expanded);
      for (std::string_view p : ExtractElementsFromZero(expanded, "physicaldrivestats", count)) {
        TKVStatsPhysP r;
        ReadKeys(p, "physicaldrivestats",
                 {{"sensekey4cnt: ", &r.SenseKey4Count},
                  {"mediumerrcnt: ", &r.MediumErrorCount},
                  {"parityerrcnt: ", &r.ParityErrorCount},
                  {"linkfailcnt: ", &r.LinkFailCount},
                  {"abortedcmdcnt: ", &r.AbortedCommandCount},
                  {"smartwarncnt: ", &r.SmartWarningCount},
                  {"channel: ", &r.Channel},
                  {"id: ", &r.Id}});
        if (!r.Id.empty() && !r.Channel.empty()) core.Stats.PhysStats.Add(r);
      }
    });
  } catch (...) {
    // What was read before the failure stays.
  }
}

void ParseCacheStats(const std::string& text, TKVCore& core) {
  try {
    core.StatsCache.Clear();
    TReadBudget budget(text.size());
    EachController(text, budget, [&](std::string_view c) {
      const TControllerHeader h = ReadHeader(c);
      if (h.DeviceName.empty() || h.SerialNumber.empty()) return;
      TKVStatsCacheItem& item = core.StatsCache.Add();
      item.DeviceName = h.DeviceName;
      item.SerialNumber = h.SerialNumber;
      item.Time = h.Time;
      ReadControllerStats(c, item.StatsVersion, item.SecondsSinceLastUpdate);

      // <overallssdcachestats ssdcachepages="1024" pagesonfetchlist="3" ... />
      int count = 0;
      std::string expanded;
      NumberSelfClosing(c, "overallssdcachestats", count, expanded);
      if (Contains(expanded, "<overallssdcachestats:00")) {
        std::string v[6];
        ReadKeys(expanded, "overallssdcachestats",
                 {{"ssdcachepages: ", &v[0]},
                  {"pagesonfetchlist: ", &v[1]},
                  {"pagesondirtylist: ", &v[2]},
                  {"pagesonfailedlist: ", &v[3]},
                  {"fetchcandidates: ", &v[4]},
                  {"candidatereplacements: ", &v[5]}});
        item.SsdCachePages = ToInt(v[0], 0);
        item.PagesOnFetchList = ToInt(v[1], 0);
        item.PagesOnDirtyList = ToInt(v[2], 0);
        item.PagesOnFailedList = ToInt(v[3], 0);
        item.FetchCandidates = ToInt(v[4], 0);
        item.CandidateReplacements = ToInt(v[5], 0);
      }
      // The record keeps the counters of the controller's last logical drive.
      EachLogicalDrive(c, budget, [&](std::string_view l) {
        TKVCacheCounters counters;
        ReadCacheCounters(l, counters);
        static_cast<TKVCacheCounters&>(item) = std::move(counters);
        item.HasSsdActivity = SsdActivity(item.SsdHitReads, item.SsdHitWrites);
      });
    });
  } catch (...) {
    // What was read before the failure stays.
  }
}

}  // namespace kv
