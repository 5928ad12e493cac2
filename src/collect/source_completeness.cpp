#include "collect/source_completeness.h"

#include <cstdint>

namespace kv {
namespace {

bool IsBlank(char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\f' || ch == '\v'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The end of the construct that starts at `at` with `open`, just past `close`; npos when
// it is never closed.
size_t SkipPast(std::string_view text, size_t at, std::string_view close) {
  const size_t end = text.find(close, at);
  return end == std::string_view::npos ? end : end + close.size();
}

}  // namespace

bool ListingComplete(std::string_view text) {
  text = TrimBlanks(text);
  const size_t line_start = text.find_last_of("\r\n");
  const std::string_view last = line_start == std::string_view::npos ? text : text.substr(line_start + 1);
  return TrimBlanks(last) == kCompletionLine;
}

bool XmlElementsClosed(std::string_view text) {
  int64_t depth = 0;
  bool any_element = false;
  size_t at = text.find('<');
  while (at != std::string_view::npos) {
    const std::string_view rest = text.substr(at);
    size_t next = std::string_view::npos;
    if (rest.substr(0, 4) == "<!--") {
      next = SkipPast(text, at + 4, "-->");
    } else if (rest.substr(0, 9) == "<![CDATA[") {
      next = SkipPast(text, at + 9, "]]>");
    } else if (rest.substr(0, 2) == "<?") {
      next = SkipPast(text, at + 2, "?>");
    } else if (rest.substr(0, 2) == "<!") {
      next = SkipPast(text, at + 2, ">");
    } else if (rest.substr(0, 2) == "</") {
      next = SkipPast(text, at + 2, ">");
      if (next != std::string_view::npos && --depth < 0) return false;  // closes what was never opened
    } else {
      // A start tag: '>' inside a quoted value does not end it.
      char quote = 0;
      size_t i = at + 1;
      for (; i < text.size(); ++i) {
        const char ch = text[i];
        if (quote != 0) {
          if (ch == quote) quote = 0;
        } else if (ch == '"' || ch == '\'') {
          quote = ch;
        } else if (ch == '>') {
          break;
        }
      }
      if (i < text.size()) {
        next = i + 1;
        any_element = true;
        if (text[i - 1] != '/') ++depth;
      }
    }
    if (next == std::string_view::npos) return false;  // a tag cut in half
    at = text.find('<', next);
  }
  return any_element && depth == 0;
}

}  // namespace kv
