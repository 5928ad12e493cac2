#pragma once
// The drive history downloads of the root folder, /history.csv and /history.json: what
// their query asks for. The answer itself (TTCPHttpThrd::SendHistory) streams the rows
// from the store as it reads them.
//
//   /history.csv                        every drive, the 90 days before now
//   /history.csv?serial=WD%2D123        the drive with that serial or drive key, all of it
//   /history.json?from=1765000000&to=1765400000
// Pure; any thread.
#include <cstdint>
#include <string>

#include "history/history_store.h"

namespace kv {

inline constexpr int64_t kHistoryDefaultSeconds = 90 * 86400;

// Reads "serial", "from" and "to" (Unix seconds, UTC) of `target`'s query; other keys are
// ignored and the last of a repeated key counts. Without "from", every drive's rows start
// 90 days before "to" (or `utc_now`), one drive's at its first sample. Times beyond
// +-10^15 are taken as 10^15. False with `problem`, a sentence for the 400 page, when an
// escape is bad or decodes to NUL, a time is not a whole number, or "from" is after "to".
bool ReadHistoryQuery(const std::string& target, int64_t utc_now, THistoryQuery& query, std::string& problem);

// The CSV download's name: "drive_history.csv"; with a serial "drive_history_<serial>.csv",
// where every byte but letters, digits, "-", "." and "_" becomes "_" (at most 64 of them),
// so the name needs no quoting in a header and is a plain file name on every system.
std::string HistoryCsvName(const std::string& serial);

}  // namespace kv
