#pragma once
// TKVCore: everything one collection cycle learns about one controller. Plain data: the
// raw lists the parsers fill, the records BuildResult makes of them, and nothing that
// parses, writes or renders.
//
// The scan list manager creates a fresh TKVCore per cycle, hands the captured texts to the
// parsers, calls BuildResult, gives the object to the state report writer and the page
// renderers, and frees it. Nothing survives from one cycle to the next.
//
// Order of calls in a cycle (an absent source is skipped):
//   ParseConfig, ParseSmart, ParseTasks, ParseLogStats, ParseCacheStats, BuildResult,
//   then WriteStateReport and the renderers.
//
// Where the operations live: ParseConfig in parse/config_parser.h, ParseSmart in
// parse/smart_parser.h, ParseTasks in parse/task_parser.h, ParseLogStats and
// ParseCacheStats in parse/stats_parser.h, BuildResult in parse/build_result.h with the
// drive matcher (parse/drive_matcher.h); WriteStateReport in report/state_report.h.
//
// SmartNames is the shipped attribute-name table (model/smart_names.h) the collection
// hands in with the core, so the report and the renderers need no table of their own;
// null names nothing. The table is immutable and shared between cycles.
//
// Used by the one thread that runs the cycle; no locks.
#include <memory>
#include <string>

#include "model/kv_list.h"
#include "model/raw_blocks.h"
#include "model/result.h"
#include "model/smart.h"
#include "model/stats.h"
#include "model/task_list.h"

namespace kv {

class TKVSmartNamesList;

class TKVCore {
 public:
  TKVEnclosureList Enclosures;
  TKVHDDList HDDs;
  TKVLDList LDs;
  TKVZEPLDList ZepLDs;
  TKVList VersionInfo;     // "controller version information" pairs
  TKVList BBUInfo;         // backup unit / battery pairs
  TKVList ControllerInfo;  // all other controller information pairs
  TKVTaskList Tasks;
  TKVSASSmartList SASSmart;
  TKVSATASmartList SATASmart;
  TKVSATASmartParamsList SATASmartParams;
  TKVSASSmartParamsList SASSmartParams;
  TKVStats Stats;
  TKVResult Result;
  TKVSmartDescNamesList SmartDescNames;
  TKVStatsCache StatsCache;
  std::shared_ptr<const TKVSmartNamesList> SmartNames;

  TKVCore() = default;
  TKVCore(const TKVCore&) = delete;
  TKVCore& operator=(const TKVCore&) = delete;
};

}  // namespace kv
