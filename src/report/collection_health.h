#pragma once
// CollectionHealth: how the last collection cycle went, source by source, as the scan list
// manager records it for the metrics and the JSON state document.
//
// Status codes are published as numbers: 0 ok, 1 empty, 2 failed, 3 timed out, 4 capped,
// 5 incomplete (a command's output that stops short: no completion line, a non-zero exit
// code, an XML element never closed).
// A source that is not configured is left out (Configured false). Plain data; copied by value.
#include <array>
#include <cstdint>
#include <string>

namespace kv {

enum class SourceStatus : int { kOk = 0, kEmpty = 1, kFailed = 2, kTimedOut = 3, kCapped = 4, kIncomplete = 5 };

// "ok", "empty", "failed", "timed_out", "capped", "incomplete".
const char* SourceStatusName(SourceStatus status);

struct SourceHealth {
  bool Configured = false;
  SourceStatus Status = SourceStatus::kEmpty;
  double DurationSeconds = 0;
  uint64_t OutputBytes = 0;
};

// Order of the sources in CollectionHealth::Sources.
enum SourceIndex : int { kSourceConfig, kSourceSmart, kSourceTask, kSourceStat, kSourceCache, kSourceCount };
// "config", "smart", "task", "stat", "cache".
const char* SourceName(int index);

struct CollectionHealth {
  bool Up = false;                        // the last cycle was a good collection
  int64_t LastSuccessUnixSeconds = 0;     // UTC; 0 until a cycle has been up
  // While a failed collection shows the last good data: why, and when that data was
  // collected (UTC). Empty while the data shown is this cycle's.
  std::string StaleReason;
  int64_t DataCollectedUnixSeconds = 0;
  double DurationSeconds = 0;             // of the last cycle's source reads (nearly all of it)
  uint64_t CollectionsTotal = 0;          // cycles started since the process began
  std::array<SourceHealth, kSourceCount> Sources{};
};

}  // namespace kv
