#include "pages/format_helpers.h"

#include <charconv>
#include <cmath>

#include "pages/template_engine.h"

namespace kv {

std::string HtmlEscape(std::string_view text) {
  std::string out = ReplaceString(text, "<", "&lt;");
  out = ReplaceString(out, ">", "&gt;");
  out = ReplaceString(out, "\\", "&#92;");
  out = ReplaceString(out, "\"", "&quot;");
  return ReplaceString(out, "'", "&#39;");
}

void AppendHtmlEscapedAll(std::string& out, std::string_view text) {
  constexpr std::string_view kMarkup = "&<>\\\"'";
  size_t from = 0;
  for (size_t at = text.find_first_of(kMarkup); at != std::string_view::npos; at = text.find_first_of(kMarkup, from)) {
    out.append(text.substr(from, at - from));
    switch (text[at]) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '\\': out += "&#92;"; break;
      case '"': out += "&quot;"; break;
      default: out += "&#39;"; break;
    }
    from = at + 1;
  }
  out.append(text.substr(from));
}

std::string HtmlEscapeAll(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendHtmlEscapedAll(out, text);
  return out;
}

std::string DashIfEmpty(std::string_view text) { return text.empty() ? std::string("-") : std::string(text); }

std::string FormatSize(int64_t bytes) {
  constexpr int64_t kKb = 1024, kMb = 1048576, kGb = 1073741824;
  const double b = static_cast<double>(bytes);
  if (bytes > kGb) return FormatFixed(2, b / static_cast<double>(kGb)) + " Gb";
  if (bytes > kMb) return FormatFixed(2, b / static_cast<double>(kMb)) + " Mb";
  if (bytes > kKb) return FormatFixed(2, b / static_cast<double>(kKb)) + " Kb";
  return std::to_string(bytes) + " b";
}

std::string FormatFixed(int decimals, double value) {
  if (decimals < 0) decimals = 0;
  if (decimals > 18) decimals = 18;
  // Noise removal: round to four decimals, ties to even.
  const double scaled = std::nearbyint(value * 10000.0);
  if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.0e17) {
    char buffer[400];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(buffer, end) : std::string("0");
  }
  // Now an exact count of ten-thousandths: round it to `decimals` in decimal arithmetic,
  // halves away from zero as people expect (1.125 -> "1.13").
  const bool negative = scaled < 0;
  uint64_t units = static_cast<uint64_t>(negative ? -scaled : scaled);
  int shown = decimals;
  if (decimals < 4) {
    uint64_t step = 1;
    for (int i = decimals; i < 4; ++i) step *= 10;
    units = (units / step) + ((units % step) * 2 >= step ? 1 : 0);
  } else {
    shown = 4;
  }
  uint64_t divisor = 1;
  for (int i = 0; i < shown; ++i) divisor *= 10;
  std::string out = (negative && units != 0) ? "-" : "";
  out += std::to_string(units / divisor);
  if (decimals > 0) {
    std::string fraction = std::to_string(units % divisor);
    out += '.';
    out.append(static_cast<std::size_t>(shown) - fraction.size(), '0');
    out += fraction;
    out.append(static_cast<std::size_t>(decimals - shown), '0');
  }
  return out;
}

}  // namespace kv
