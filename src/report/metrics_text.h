#pragma once
// MetricsText: the model of one cycle and the collection health in the Prometheus text
// exposition format 0.0.4, rendered once per cycle and served as is.
//
//   # HELP korvane_drive_failed 1 when the drive state reads Failed, Defunct, Missing or Offline.
//   # TYPE korvane_drive_failed gauge
//   korvane_drive_failed{controller="1",channel="0",device_id="3",serial="WD-WMC1T0000104"} 0
//   korvane_drive_failed{controller="2",channel="0",device_id="0",serial="WD-WMC1T0000200"} 1
//
// Every series carries its controller ("1", "2", ...) as its first label. Families come in a
// fixed order, each with its HELP and TYPE once, then the samples of controller 1, 2, ...; a
// family without samples is left out. Label values are converted from Windows-1251 to
// UTF-8; backslash, double quote and line feed are escaped, other control bytes become
// blanks. A value that cannot be read as a number gives no sample. A series (name and
// labels) appears once: a repeated one keeps its first value. Pure; any thread.
#include <span>
#include <string>
#include <vector>

#include "health/cycle_health.h"
#include "model/kv_core.h"
#include "report/collection_health.h"

namespace kv {

// One controller's text cut by family, kept so that each controller is rendered once per
// its own cycle and the served text is only joined. Every part holds all the families in
// the same order, empty ones too.
struct TMetricsParts {
  std::vector<std::string> Headers;   // "# HELP ...\n# TYPE ...\n" of each family
  std::vector<std::string> Families;  // the samples of each family, lines ending in '\n'
};

// `controller` is its number from 1. `cycle` adds korvane_health, korvane_drive_health and
// korvane_state_changes_total.
TMetricsParts RenderMetricsParts(int controller, const TKVCore& core, const CollectionHealth& health,
                                 const TCycleHealth* cycle = nullptr);

// The exposition text of all controllers, in the order given; a null or empty part is
// skipped. Linear in the size of the parts.
std::string JoinMetricsParts(std::span<const TMetricsParts* const> controllers);

// The text of a single controller, numbered 1.
std::string RenderMetricsText(const TKVCore& core, const CollectionHealth& health,
                              const TCycleHealth* cycle = nullptr);

// A label value as the format requires it (converted and escaped, without the quotes).
std::string MetricsLabelValue(const std::string& value);

}  // namespace kv
