#pragma once
// The configuration listing parser.
//
// The listing is a run of titled blocks of key/value lines, the key padded with blanks up
// to a colon, a blank and the value:
//
//   Controller information
//      Controller Status                        : Optimal
//   Logical device information
//   Logical device number 0
//      RAID level                               : 5
//      Logical device segment information
//      Segment 0                                : Present (Controller:1,Enclosure:0,Slot:0) WD-WX31A1234567
//   Physical Device information
//         Device #0
//            Device is a Hard drive
//            Reported Channel,Device(T:L)       : 0,0(0:0)
//            Reported Location                  : Enclosure 0, Slot 0
//         Device #8
//            Device is an Enclosure services device
//            Status of Enclosure services device
//               Temperature                     : 31 C
//   zepCache 3.0 information
//   zepCache device number 100
//
// ParseConfig stores every pair uninterpreted in the raw lists of a TKVCore; BuildResult
// (build_result.h) interprets them afterwards. Single-threaded, like the model.
#include <string>
#include <utility>

#include "model/kv_core.h"

namespace kv {

// Splits `line` at its first ": " into (key, value), both trimmed of blanks.
std::pair<std::string, std::string> SplitPair(const std::string& line);

// Cuts the listing into blocks and adds every pair to the raw lists of `core`. Does not
// clear them first. Exceptions (allocation) propagate to the caller.
void ParseConfig(const std::string& text, TKVCore& core);

// Column-0 headings of no known generation are written to the core log once each, at most
// five a listing, until this is called (or the process ends); the memory holds 1000.
void ForgetUnknownHeadings();

}  // namespace kv
