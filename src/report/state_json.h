#pragma once
// StateJson: the interpreted model of each controller and its collection health as one
// UTF-8 JSON document, rendered once per cycle and served as is.
//
//   {"format":2,"health":{"verdict":"Warning","level":1,"reasons":[...]},"controllers":[
//    {"controller":1,"stale":false,"collection":{"up":true,...},"controller_info":{...},
//     "backup_unit":{...},"logical_devices":[...],"zepcache_devices":[...],"drives":[...],
//     "enclosures":[...],"tasks":[...],"statistics":{...},"health":{...},"changes":[...]},
//    {"controller":2,...}]}
//
// The top "health" is the overall verdict, each entry's its controller's own. Texts keep
// their form (converted from Windows-1251); numbers read from them are given beside them
// (null when the text holds none). Drives are referred to by their index in their entry's
// "drives"; each device and drive object opens with its entry's "controller". While a failed collection shows the last good model, "stale" is true and
// "stale_reason" and "data_collected" (Unix seconds) follow it. Pure; any thread.
#include <cstddef>
#include <span>
#include <string>

#include "health/cycle_health.h"
#include "health/verdict.h"
#include "model/kv_core.h"
#include "report/collection_health.h"

namespace kv {

// One controller's entry of "controllers" (no line end), `controller` numbered from 1.
// `cycle` adds "health" (the verdict and its reasons), each drive's "smart_verdict" and
// "changes" (the recent change lines). `expected_size` (the last entry's, say) is
// reserved at once, so a large entry is not copied as it grows.
std::string RenderStateJsonEntry(int controller, const TKVCore& core, const CollectionHealth& health,
                                 const TCycleHealth* cycle = nullptr, size_t expected_size = 0);

// The document: `overall` as the top "health", then the entries in the order given.
std::string JoinStateJson(const THealthVerdict& overall, std::span<const std::string> entries);

// The document of a single controller, numbered 1; its verdict is the overall one (without
// `cycle`: Warning when the collection is not up, else OK, as nothing was judged).
std::string RenderStateJson(const TKVCore& core, const CollectionHealth& health,
                            const TCycleHealth* cycle = nullptr, size_t expected_size = 0);

// A JSON string literal (with its quotes) of a Windows-1251 text.
std::string JsonString(const std::string& text);

}  // namespace kv
