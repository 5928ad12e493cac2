#pragma once
// Small pieces shared by the SMART and statistics parsers on top of the XML-to-lines reader.
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "parse/text_helpers.h"
#include "parse/xml_lines.h"

namespace kv {

// The text after the first `key` in `line`, trimmed of blanks. REQUIRES: `line` holds `key`.
inline std::string ValueAfter(std::string_view line, std::string_view key) {
  return TrimBlanks(line.substr(line.find(key) + key.size()));
}

// The same with every ">" removed (the ">" closing a start tag sticks to its last value).
inline std::string ValueAfterNoGt(std::string_view line, std::string_view key) {
  std::string v = ValueAfter(line, key);
  std::erase(v, '>');
  return v;
}

// ElementAttributesToLines over one element, remembered per name: an element's walk may ask
// for the same start tag many times, and each fresh look-up searches the element from its
// start.
class TAttributeLinesCache {
 public:
  explicit TAttributeLinesCache(std::string_view element) : element_(element) {}
  const std::vector<std::string>& Lines(const std::string& name) {
    auto it = cache_.find(name);
    if (it == cache_.end()) {
      it = cache_.emplace(name, std::vector<std::string>()).first;
      ElementAttributesToLines(element_, name, it->second);
    }
    return it->second;
  }

 private:
  std::string_view element_;
  std::unordered_map<std::string, std::vector<std::string>> cache_;
};

}  // namespace kv
