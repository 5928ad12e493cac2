#pragma once
// Text helpers the parsers of the controller utility's outputs split their lines with; the
// model, the report and the pages use a few of them too, and the report reads size texts
// in megabytes with SizeToMegabytes. All work on single-byte strings; searches are
// case-sensitive (callers lower-case first where they need to). Pure functions, any thread.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// Removes blanks (0x20 only, not tabs) at both ends.
std::string TrimBlanks(std::string_view s);
// Removes bytes up to 0x20 (blanks and control characters) at both ends.
std::string TrimControls(std::string_view s);
// The text before the first `sep`; the whole of `s` when `sep` does not occur.
std::string TextBefore(std::string_view s, std::string_view sep);
// The text after the first `sep`; the whole of `s` when `sep` does not occur.
std::string TextAfter(std::string_view s, std::string_view sep);
// `s` as a signed 32-bit decimal integer (leading blanks and one sign accepted, at least one
// digit, nothing after the digits, within range), else `default_value`.
int32_t ToInt(std::string_view s, int32_t default_value);
// Every blank replaced by "_".
std::string BlanksToUnderscores(std::string_view s);
// A size text ("139236 MB", "2 TB", "1.5 GB") in whole megabytes (rounded half to even,
// "." or "," as the decimal point; "KB", "MB", "GB" and "TB" in any letter case, anything
// else counts as MB); empty when there is no number, it is not above 0 or the result does
// not fit 64 bits.
std::string SizeToMegabytes(std::string_view text);
// The lines of `text`, split at CR, LF or CR LF. A final line ending does not start
// another line; an empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);

// Calls `fn(std::string_view)` for each line SplitLines would give, in order, without
// holding them all.
template <typename Fn>
void ForEachLine(std::string_view text, Fn&& fn) {
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      fn(text.substr(start, i - start));
      i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) fn(text.substr(start));
}
// Position of the first CR or LF at or after `from`; npos when none. The same as
// find_first_of("\r\n", from), in one tight pass: whole listings go through it.
inline std::size_t FindLineBreak(std::string_view s, std::size_t from) {
  for (std::size_t i = from; i < s.size(); ++i)
    if (s[i] == '\n' || s[i] == '\r') return i;
  return std::string_view::npos;
}
// True when `s` contains `sub`.
inline bool Contains(std::string_view s, std::string_view sub) {
  return s.find(sub) != std::string_view::npos;
}

}  // namespace kv
