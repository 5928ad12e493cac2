#include "base/text_helpers.h"

#include <charconv>
#include <cmath>

#include "base/text_case.h"

namespace kv {

namespace {

template <typename Pred>
std::string TrimIf(std::string_view s, Pred strip) {
  size_t b = 0, e = s.size();
  while (b < e && strip(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && strip(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

}  // namespace

std::string TrimBlanks(std::string_view s) {
  return TrimIf(s, [](unsigned char c) { return c == ' '; });
}

std::string TrimControls(std::string_view s) {
  return TrimIf(s, [](unsigned char c) { return c <= ' '; });
}

std::string TextBefore(std::string_view s, std::string_view sep) {
  const size_t p = s.find(sep);
  return std::string(p == std::string_view::npos ? s : s.substr(0, p));
}

std::string TextAfter(std::string_view s, std::string_view sep) {
  const size_t p = s.find(sep);
  return std::string(p == std::string_view::npos ? s : s.substr(p + sep.size()));
}

int32_t ToInt(std::string_view s, int32_t default_value) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i == s.size()) return default_value;
  int64_t value = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c < '0' || c > '9') return default_value;
    value = value * 10 + (c - '0');
    if (value > 2147483648LL) return default_value;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return default_value;
  return static_cast<int32_t>(value);
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  ForEachLine(text, [&](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

std::string BlanksToUnderscores(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c == ' ') c = '_';
  return out;
}

std::string SizeToMegabytes(std::string_view text) {
  std::string number;
  std::string unit;
  bool has_digit = false;
  bool has_point = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      number.push_back(c);
      has_digit = true;
    } else if (c == ',' || c == '.') {
      if (!has_point) number.push_back('.');
      has_point = true;
    } else {
      unit.push_back(c);
    }
  }
  if (!has_digit) return {};
  if (number.front() == '.') number.insert(number.begin(), '0');
  if (number.back() == '.') number.push_back('0');
  double value = 0;
  const auto parsed = std::from_chars(number.data(), number.data() + number.size(), value);
  if (parsed.ec != std::errc() || !(value > 0)) return {};

  std::string norm;
  for (char c : TrimControls(unit)) {
    if (static_cast<unsigned char>(c) <= ' ') {
      if (norm.empty() || norm.back() != ' ') norm.push_back(' ');
    } else {
      norm.push_back(LowerAscii(c));
    }
  }
  double factor = 1;
  if (norm == "kb") factor = 1.0 / 1024;
  else if (norm == "gb") factor = 1024;
  else if (norm == "tb") factor = 1048576;
  // Round half to even; the default floating-point rounding mode is to nearest-even.
  const double mb = std::nearbyint(value * factor);
  if (!(mb < 9.2e18)) return {};
  return std::to_string(static_cast<int64_t>(mb));
}

}  // namespace kv
