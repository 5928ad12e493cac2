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
#include <unordered_set>
#include <utility>

#include "model/kv_core.h"

namespace kv {

// Splits `line` at its first ": " into (key, value), both trimmed of blanks.
std::pair<std::string, std::string> SplitPair(const std::string& line);

// The column-0 headings of no known generation that were written to the core log already,
// so that each is written once while the memory lives (the collection keeps one for as long
// as the program runs). It holds 1000 headings; once it is full no new heading is written,
// so a listing of junk cannot make the log or the memory grow without bound. It belongs to
// its caller, who hands it to every ParseConfig; one thread at a time, like the model.
class TSeenHeadings {
 public:
  // True the first time `heading` is offered while there is room; it is remembered then.
  bool FirstTime(const std::string& heading);

 private:
  std::unordered_set<std::string> seen_;
};

// Cuts the listing into blocks and adds every pair to the raw lists of `core`. Does not
// clear them first. A column-0 heading of no known generation is written to the core log,
// at most five a listing, unless `seen` holds it already; `seen` learns the ones written.
// Exceptions (allocation) propagate to the caller.
void ParseConfig(const std::string& text, TKVCore& core, TSeenHeadings& seen);

// The same with a memory of its own: every unknown heading of the listing is written (at
// most five).
void ParseConfig(const std::string& text, TKVCore& core);

}  // namespace kv
