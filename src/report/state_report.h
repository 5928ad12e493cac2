#pragma once
// The state report: the model of one collection cycle written out as INI-like lines.
//
//   [hdd_3]
//   state=Online
//   enclosure=1
//   enclosure_id=0
//   data=Device #3||||State: Online||||
//
// WriteStateReport clears the given list and appends the report, section by section,
// with empty lines only in fixed places so the served text stays stable. Values are written
// unescaped; multi-line raw lists are folded into one value by JoinLines. The pages, the
// collection cycle and administrators' scripts read the report back through TMemIniFile,
// so the key spellings (overal, remain_persent, scince_stats, uniq_parce, persent) are part
// of the contract.
//
// Pure functions of their arguments; any thread.
#include <cstdint>
#include <string>

#include "model/kv_list.h"

namespace kv {

class TKVCore;

// Clears `lines` and appends the state report of `core`; `version` goes into [main].
void WriteStateReport(const TKVCore& core, const std::string& version, TStringList& lines);

// The same report appended to `text`, every line followed by CR LF: the text the lines of
// WriteStateReport give joined, without a string per line.
void AppendStateReport(const TKVCore& core, const std::string& version, std::string& text);

// Every line followed by CR LF, then every CR LF replaced by "||||":
// {"x", "y"} gives "x||||y||||", an empty list gives "".
std::string JoinLines(const TStringList& lines);

// "dd.mm.yyyy hh:mm:ss" for unsigned seconds since 1970-01-01 00:00 (no zone shift).
std::string FormatReportDate(uint32_t seconds);

}  // namespace kv
