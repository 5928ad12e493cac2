#pragma once
// MetricsText: the model of one cycle and the collection health in the Prometheus text
// exposition format 0.0.4, rendered once per cycle and served as is.
//
//   # HELP korvane_drive_failed 1 when the drive state reads Failed, Defunct, Missing or Offline.
//   # TYPE korvane_drive_failed gauge
//   korvane_drive_failed{channel="0",device_id="3",serial="WD-WMC1T0000104"} 0
//
// Families come in a fixed order, each with its HELP and TYPE once; a family without samples
// is left out. Label values are converted from Windows-1251 to UTF-8; backslash, double
// quote and line feed are escaped, other control bytes become blanks. A value that cannot be
// read as a number gives no sample. A series (name and labels) appears once: a repeated one
// keeps its first value. Pure; any thread.
#include <string>

#include "health/cycle_health.h"
#include "model/kv_core.h"
#include "report/collection_health.h"

namespace kv {

// `cycle` adds korvane_health, korvane_drive_health and korvane_state_changes_total.
std::string RenderMetricsText(const TKVCore& core, const CollectionHealth& health,
                              const TCycleHealth* cycle = nullptr);

// A label value as the format requires it (converted and escaped, without the quotes).
std::string MetricsLabelValue(const std::string& value);

}  // namespace kv
