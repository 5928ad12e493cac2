#pragma once
// The health findings of one collection cycle, as the metrics, the JSON document and the
// pages publish them. Plain data; copied by value.
#include <array>
#include <cstdint>
#include <vector>

#include "health/changes.h"
#include "health/smart_verdict.h"
#include "health/verdict.h"

namespace kv {

struct TCycleHealth {
  THealthVerdict Verdict;
  std::vector<TSmartVerdict> Drives;          // by drive index of the model shown
  std::vector<TChangeLine> Recent;            // the last changes, oldest first (at most 50)
  std::array<uint64_t, 3> ChangeTotals{};     // changes told since the start, by TSeverity
};

}  // namespace kv
