#pragma once
// Taking a request target apart, and the checks that keep file requests inside the
// program folder. Pure functions, callable from any thread.
//
//   GET /sub/./a/../logo.png?x=1 HTTP/1.0   ->  directory "/sub/", name "logo.png"
#include <string>
#include <utility>
#include <vector>

namespace kv {

// The text without leading and trailing blanks and control characters (bytes up to 0x20).
std::string TrimBlanks(const std::string& text);

// The target up to, not including, the first "?".
std::string StripQuery(const std::string& target);

// The "&"-separated parts of the target's query, split at their first "=" and
// percent-decoded ("/h?serial=WD%20X&to=9" -> {"serial", "WD X"}, {"to", "9"}); "+" stays
// "+". False when an escape is not "%" and two hex digits, or a byte decodes to NUL.
using TQueryPairs = std::vector<std::pair<std::string, std::string>>;
bool ParseQuery(const std::string& target, TQueryPairs& pairs);

// Directory part of the target, ending in "/", with "/./" and "/../" resolved; "" when a
// "/../" climbs above the root.
std::string ExtractRequestDir(const std::string& target);

// Name part: the query-less target after its last "/".
std::string ExtractRequestName(const std::string& target);

// Appends the separator unless the path is empty or already ends in one. With "\" a
// path ending in ":" is left alone and a lone drive letter gets ":\".
std::string AddTrailingDelimiter(const std::string& path, char separator);

enum class PathRules { kPosix, kWindows };

// Whether one part of a file path (a directory or the file name) may be used to open a
// file below the program folder: no "\", "..", ":" or NUL byte; with Windows rules also
// no device name (CON, NUL, AUX, PRN, COM1-9, LPT1-9, with any extension).
bool IsServablePathPart(const std::string& part, PathRules rules);

// The directory text starts at the root ("/a/b/") and every part of it and the name pass
// IsServablePathPart.
bool IsServablePath(const std::string& dir, const std::string& name, PathRules rules);

// The controller a text "c<digits>" names: N for "cN" with N written without leading zeros
// ("c2", "c10"), 0 for other digits ("c0", "c02", more than 9 digits: a number never
// served), -1 for any other text ("c", "c1x", "C2").
int ControllerNumber(const std::string& text);
// The same for a request directory that is one folder below the root ("/c2/"); -1 for the
// root and deeper folders.
int ControllerOfFolder(const std::string& dir);

// 127.0.0.0/8, ::1 and their IPv4-mapped IPv6 forms.
bool IsLoopbackAddress(const std::string& address);

}  // namespace kv
