#pragma once
// StateJson: the interpreted model of one cycle and the collection health as one UTF-8 JSON
// document, rendered once per cycle and served as is.
//
//   {"format":1,"stale":false,"collection":{"up":true,...},"controller":{...},"backup_unit":{...},
//    "logical_devices":[...],"zepcache_devices":[...],"drives":[...],"enclosures":[...],
//    "tasks":[...],"statistics":{...},"health":{...},"changes":[...]}
//
// Texts keep their form (converted from Windows-1251); numbers read from them are given
// beside them (null when the text holds none). Drives are referred to by their index in
// "drives". While a failed collection shows the last good model, "stale" is true and
// "stale_reason" and "data_collected" (Unix seconds) follow it. Pure; any thread.
#include <cstddef>
#include <string>

#include "health/cycle_health.h"
#include "model/kv_core.h"
#include "report/collection_health.h"

namespace kv {

// `cycle` adds "health" (the verdict and its reasons), each drive's "smart_verdict" and
// "changes" (the recent change lines). `expected_size` (the last document's, say) is
// reserved at once, so a large document is not copied as it grows.
std::string RenderStateJson(const TKVCore& core, const CollectionHealth& health,
                            const TCycleHealth* cycle = nullptr, size_t expected_size = 0);

// A JSON string literal (with its quotes) of a Windows-1251 text.
std::string JsonString(const std::string& text);

}  // namespace kv
