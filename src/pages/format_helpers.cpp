#include "pages/format_helpers.h"

#include <charconv>
#include <cmath>

#include "pages/template_engine.h"
#include "platform/clock.h"

namespace kv {

std::string HtmlEscape(std::string_view text) {
  std::string out = ReplaceString(text, "<", "&lt;");
  out = ReplaceString(out, ">", "&gt;");
  out = ReplaceString(out, "\\", "&#92;");
  out = ReplaceString(out, "\"", "&quot;");
  return ReplaceString(out, "'", "&#39;");
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
  if (std::isfinite(value) && std::fabs(value) < 1e14) value = std::nearbyint(value * 10000.0) / 10000.0;
  char buffer[400];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (ec != std::errc()) return "0";
  return std::string(buffer, end);
}

double UnixToDateTime(uint32_t seconds) {
  return static_cast<double>(seconds / 86400u + 25569u) + static_cast<double>(seconds % 86400u) / 86400.0;
}

std::string StripExtension(std::string_view file_name) {
  const auto dot = file_name.rfind('.');
  if (dot == std::string_view::npos) return std::string(file_name);
  const auto sep = file_name.find_last_of("/\\:");
  if (sep != std::string_view::npos && sep > dot) return std::string(file_name);
  return std::string(file_name.substr(0, dot));
}

int64_t GetUptimeMs() noexcept {
  try {
    return static_cast<int64_t>(platform::SystemUptimeMs());
  } catch (...) {
    return 0;
  }
}

}  // namespace kv
