#pragma once
// The statistics containers of the model: the controller-log statistics (TKVStats, filled by
// ParseLogStats) and the cache statistics (TKVStatsCache, filled by ParseCacheStats).
//
// Counters are the texts found in the lower-cased XML unless a field is an integer.
// The lists own their records. Single-threaded.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kv {

// The activity flag of the ssd cache counters: false only when both hit counters are
// exactly "0" (an empty counter counts as activity).
inline bool SsdActivity(const std::string& ssdHitReads, const std::string& ssdHitWrites) {
  return !(ssdHitReads == "0" && ssdHitWrites == "0");
}

// The cache counters of one logical drive: the uncached I/O, the DRAM cache and the ssd
// cache elements, in both the controller log and the cache statistics.
struct TKVCacheCounters {
  std::string UncachedReads;
  std::string UncachedWrites;
  std::string DramFullHitReads;
  std::string DramWaitHitReads;
  std::string DramHybridHitReads;
  std::string DramCacheWrites;
  std::string DramFlushWaitWrites;
  std::string DramCacheFlushes;
  std::string SsdHitReads;
  std::string SsdHitWrites;
  std::string SsdPageUpdates;
  std::string SsdPageDirectAllocations;
  std::string SsdFetches;
  std::string SsdFlushes;
  std::string SsdCacheValidPages;
  std::string SsdCacheDirtyPages;
};

// One logical drive of the controller log.
struct TKVStatsLDP : TKVCacheCounters {
  int32_t Id = -1;
  std::string NumReads;
  std::string NumWrites;
  std::string BlocksRead;
  std::string BlocksReadUnit;  // "MB", "KB", "GB", "TB", "PB" or empty
  std::string BlocksWritten;
  std::string BlocksWrittenUnit;
  bool HasSsdActivity = true;  // computed by TKVStatsLDParams::Add
};

class TKVStatsLDParams {
 public:
  // Appends a copy of `record` with HasSsdActivity computed from its ssd hit counters.
  void Add(const TKVStatsLDP& record) {
    items_.push_back(record);
    items_.back().HasSsdActivity = SsdActivity(record.SsdHitReads, record.SsdHitWrites);
  }
  int Count() const { return static_cast<int>(items_.size()); }
  const TKVStatsLDP& Item(int index) const { return items_[static_cast<size_t>(index)]; }
  // Index of the first record with that Id, or -1.
  int IndexOf(int32_t id) const {
    for (size_t i = 0; i < items_.size(); ++i)
      if (items_[i].Id == id) return static_cast<int>(i);
    return -1;
  }
  void Clear() { items_.clear(); }

 private:
  std::vector<TKVStatsLDP> items_;
};

// One physical drive of the controller log.
struct TKVStatsPhysP {
  std::string Id;
  std::string Channel;
  std::string SenseKey4Count;
  std::string MediumErrorCount;
  std::string ParityErrorCount;
  std::string LinkFailCount;
  std::string AbortedCommandCount;
  std::string SmartWarningCount;
};

class TKVStatsPhysParams {
 public:
  void Add(const TKVStatsPhysP& record) { items_.push_back(record); }
  int Count() const { return static_cast<int>(items_.size()); }
  const TKVStatsPhysP& Item(int index) const { return items_[static_cast<size_t>(index)]; }
  // Index of the first record whose Id and Channel equal the arguments exactly, or -1.
  int IndexOf(const std::string& id, const std::string& channel) const {
    for (size_t i = 0; i < items_.size(); ++i)
      if (items_[i].Id == id && items_[i].Channel == channel) return static_cast<int>(i);
    return -1;
  }
  void Clear() { items_.clear(); }

 private:
  std::vector<TKVStatsPhysP> items_;
};

class TKVStats {
 public:
  TKVStatsPhysParams PhysStats;
  TKVStatsLDParams LDStats;
  std::string DeviceName;
  std::string SerialNumber;
  int32_t Time = 0;  // local Unix seconds
  std::string StatsVersion;
  int32_t SecondsSinceLastUpdate = 0;

  // Empties both lists.
  void Clear() {
    PhysStats.Clear();
    LDStats.Clear();
  }
};

// One controller of the cache statistics; the counters are those of its last logical drive.
struct TKVStatsCacheItem : TKVCacheCounters {
  std::string StatsVersion;
  int32_t SecondsSinceLastUpdate = 0;
  std::string DeviceName;
  std::string SerialNumber;
  int32_t Time = 0;
  int32_t SsdCachePages = 0;
  int32_t PagesOnFetchList = 0;
  int32_t PagesOnDirtyList = 0;
  int32_t PagesOnFailedList = 0;
  int32_t FetchCandidates = 0;
  int32_t CandidateReplacements = 0;
  bool HasSsdActivity = true;  // SsdActivity(SsdHitReads, SsdHitWrites), set by the parser
};

class TKVStatsCache {
 public:
  // Appends an empty record and returns it (valid until Clear or destruction).
  TKVStatsCacheItem& Add() {
    items_.push_back(std::make_unique<TKVStatsCacheItem>());
    return *items_.back();
  }
  int Count() const { return static_cast<int>(items_.size()); }
  TKVStatsCacheItem& Item(int index) { return *items_[static_cast<size_t>(index)]; }
  const TKVStatsCacheItem& Item(int index) const { return *items_[static_cast<size_t>(index)]; }
  // The last record (searching from the end) whose lower-cased SerialNumber equals `serial`
  // trimmed of blanks and lower-cased; nullptr when there is none.
  const TKVStatsCacheItem* FindBySerial(const std::string& serial) const;
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TKVStatsCacheItem>> items_;
};

}  // namespace kv
