#pragma once
// TKVCore: everything one collection cycle learns about one controller.
//
// The scan list manager creates a fresh TKVCore per cycle, hands the captured texts to the
// parsers, calls BuildResult, gives the object to the state report writer and the page
// renderers, and frees it. Nothing survives from one cycle to the next.
//
// Order of calls in a cycle (an absent source is skipped):
//   ParseConfig, ParseSmart, ParseTasks, ParseLogStats, ParseCacheStats, BuildResult,
//   then WriteStateReport and the renderers.
//
// Where the operations live: ParseConfig, MatchChannel and MatchLocation in
// parse/config_parser.cpp; BuildResult in model/build_result.cpp; ParseTasks in
// parse/task_parser.cpp; ParseSmart, ParseLogStats and ParseCacheStats with the SMART and
// statistics parsers in parse/; WriteStateReport in report/.
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

class Tmail_list;  // the renderers' placeholder substitution list (pages layer)

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
  // Created by the renderer that needs it; the model never touches it. shared_ptr so that
  // the model compiles without the pages layer's definition.
  std::shared_ptr<Tmail_list> Templates;
  TKVSmartDescNamesList SmartDescNames;
  TKVStatsCache StatsCache;

  TKVCore() = default;
  TKVCore(const TKVCore&) = delete;
  TKVCore& operator=(const TKVCore&) = delete;
  ~TKVCore();

  // Configuration listing: cuts it into blocks and adds every pair to the raw lists.
  // Does not clear them first. Exceptions (allocation) propagate to the caller.
  void ParseConfig(const std::string& text);
  // SMART XML, SAS first then SATA; swallows every exception.
  void ParseSmart(const std::string& text);
  // Task status listing: one TKVTaskItem per complete "Logical device Task:" block.
  void ParseTasks(const std::string& text);
  // Controller-log statistics XML into Stats (cleared first); swallows every exception.
  void ParseLogStats(const std::string& text);
  // Cache statistics XML into StatsCache (cleared first); swallows every exception.
  void ParseCacheStats(const std::string& text);
  // Interprets the raw lists into Result (cleared first): controller, backup unit,
  // enclosures, logical and zepCache devices, drives with their channel and location
  // matches. May run again on the same object.
  void BuildResult();
  // Clears `lines` and appends the state report.
  void WriteStateReport(const std::string& version, TStringList& lines) const;

  // The two per-drive matching steps of BuildResult, for the value of a drive's
  // "Reported Channel,Device" and "Reported Location" pair. `driveIndex` is the drive's
  // zero-based position in Result.HDDs (the record itself may not be appended yet).
  void MatchChannel(const std::string& value, TResultHDD& drive, int driveIndex);
  void MatchLocation(const std::string& value, TResultHDD& drive, int driveIndex);
};

}  // namespace kv
