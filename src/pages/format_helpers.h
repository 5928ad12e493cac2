#pragma once
// Small text helpers shared by the renderers, the state report and the scan list manager.
// Pure functions, any thread, locale-independent: "." is always the decimal separator and
// case folding is ASCII only.
#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

// "<" "&lt;", ">" "&gt;", "\" "&#92;", double quote "&quot;", "'" "&#39;". The ampersand is
// deliberately left alone: values may already carry entities.
std::string HtmlEscape(std::string_view text);

// The same with "&" written "&amp;" first, for text printed by the controller utility: its
// bytes are shown as printed, never taken as markup or entities.
std::string HtmlEscapeAll(std::string_view text);
void AppendHtmlEscapedAll(std::string& out, std::string_view text);

// The text, or "-" when it is empty.
std::string DashIfEmpty(std::string_view text);

// 1536 -> "1.50 Kb", 1024 -> "1024 b", 5368709120 -> "5.00 Gb"; thresholds are strict
// (more than 1024, 1048576, 1073741824); zero and negative sizes print as "<n> b".
std::string FormatSize(int64_t bytes);

// The value rounded to four decimals (ties to even) to drop representation noise, then
// written in fixed notation with `decimals` digits, halves rounded away from zero:
// (2, 1.125) -> "1.13", (2, 1.0049999999) -> "1.01", (0, 2.5) -> "3".
std::string FormatFixed(int decimals, double value);

}  // namespace kv
