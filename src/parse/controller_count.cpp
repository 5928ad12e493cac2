#include "parse/controller_count.h"

#include "base/text_case.h"

namespace kv {
namespace {

constexpr std::string_view kLabel = "controllers found:";
// The line comes first; a listing that does not say it early never says it.
constexpr int kLinesRead = 64;

std::string_view TrimmedBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

}  // namespace

int ReportedControllerCount(std::string_view listing) {
  for (int line_number = 0; line_number < kLinesRead && !listing.empty(); ++line_number) {
    const size_t end = listing.find('\n');
    const std::string_view line = TrimmedBlanks(listing.substr(0, end));
    listing = end == std::string_view::npos ? std::string_view() : listing.substr(end + 1);
    if (line.size() <= kLabel.size() || !SameTextAscii(line.substr(0, kLabel.size()), kLabel)) continue;
    const std::string_view digits = TrimmedBlanks(line.substr(kLabel.size()));
    if (digits.empty() || digits.size() > 4 || digits.find_first_not_of("0123456789") != std::string_view::npos)
      return 0;
    int count = 0;
    for (char c : digits) count = count * 10 + (c - '0');
    return count;
  }
  return 0;
}

}  // namespace kv
