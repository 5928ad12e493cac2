#pragma once
// What the pages show of the cycle's health: the verdict with its reasons, each drive's
// SMART verdict, the recent changes (TCycleHealth), when the data shown was collected, why
// it may be stale, and which drives' predictive values grew this week. Filled by the
// collection cycle, read by the main page and the drive pages.
#include <cstdint>
#include <string>
#include <vector>

#include "health/cycle_health.h"
#include "health/verdict.h"

namespace kv {

// The stylesheet's colours of a verdict (the strip, the controller bar).
inline const char* VerdictClass(THealth level) {
  switch (level) {
    case THealth::OK: return "verdict-ok";
    case THealth::Warning: return "verdict-warn";
    case THealth::Critical: return "verdict-bad";
  }
  return "verdict-warn";
}

struct THealthView : TCycleHealth {
  int64_t CollectedAt = 0;  // local Unix seconds of the data shown; 0 unknown
  // Empty while the data is fresh; else why it is not: "The config source timed out at
  // 2026-12-09 03:10:00. The data shown was collected at 2026-12-09 02:00:00."
  std::string StaleWarning;
  // By drive index of the model shown: what grew ("attribute 5 grew from 8 to 24 in 7
  // days"), empty for a drive where nothing did. Empty while history is off.
  std::vector<std::string> Grown;
};

}  // namespace kv
