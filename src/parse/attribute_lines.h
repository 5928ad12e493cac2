#pragma once
// Small pieces shared by the SMART and statistics parsers on top of the XML-to-lines reader.
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/text_helpers.h"
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

// Nested elements of the same name are each read in full, inner ones again as part of the
// outer: a text built of thousands of nested elements would cost the square of its size.
// The parsers spend the size of every element they read from this budget and stop reading
// once it is gone. A real output reads each byte about twice, far inside the budget.
class TReadBudget {
 public:
  explicit TReadBudget(size_t input_size) : left_(16 * input_size + (size_t{1} << 20)) {}
  // False (and nothing spent) when `bytes` more would exceed the budget.
  bool Spend(size_t bytes) {
    if (bytes > left_) {
      left_ = 0;
      return false;
    }
    left_ -= bytes;
    return true;
  }

 private:
  size_t left_;
};

// The first start tag of a name in an element (where "<" + name first occurs). An element's
// walk asks for the start tag of every child, and a plain look-up searches the element
// from its start each time; here the start tags are indexed once. A name that ends in its
// only blank (as ChildElementNames gives them: "attribute_03 ") occurs after a "<" exactly
// where the text up to the next blank equals it, so the first such "<" is the first
// occurrence. Other names are searched for plainly.
class TFirstStartTags {
 public:
  TFirstStartTags() = default;
  explicit TFirstStartTags(std::string_view element) : element_(element) {}
  // Starts over on another element, keeping the memory of the index.
  void Reset(std::string_view element) {
    element_ = element;
    indexed_ = false;
  }

  // Position of the "<", npos when none.
  size_t Find(std::string_view name) {
    const size_t blank = name.find(' ');
    if (blank + 1 != name.size() || name.size() > kMaxIndexedName)
      return element_.find(std::string("<").append(name));
    if (!indexed_) BuildIndex();
    for (size_t h = std::hash<std::string_view>()(name) & mask_;; h = (h + 1) & mask_) {
      const TSlot& slot = slots_[h];
      if (slot.at == std::string_view::npos || slot.key == name) return slot.at;
    }
  }

 private:
  static constexpr size_t kMaxIndexedName = 64;
  struct TSlot {
    std::string_view key;
    size_t at;
  };

  // An open-addressing table at most half full; the first "<" of a key wins.
  void BuildIndex() {
    indexed_ = true;
    keys_.clear();
    for (size_t lt = element_.find('<'); lt != std::string_view::npos;
         lt = element_.find('<', lt + 1)) {
      const std::string_view rest = element_.substr(lt + 1, kMaxIndexedName);
      const size_t blank = rest.find(' ');
      if (blank != std::string_view::npos) keys_.push_back({rest.substr(0, blank + 1), lt});
    }
    size_t size = 16;
    while (size < 2 * keys_.size()) size *= 2;
    slots_.assign(size, TSlot{{}, std::string_view::npos});
    mask_ = size - 1;
    for (const TSlot& k : keys_) {
      size_t h = std::hash<std::string_view>()(k.key) & mask_;
      while (slots_[h].at != std::string_view::npos && slots_[h].key != k.key) h = (h + 1) & mask_;
      if (slots_[h].at == std::string_view::npos) slots_[h] = k;
    }
  }

  std::string_view element_;
  bool indexed_ = false;
  std::vector<TSlot> keys_, slots_;
  size_t mask_ = 0;
};

// ElementAttributesToLines over one element, remembered per name.
class TAttributeLinesCache {
 public:
  explicit TAttributeLinesCache(std::string_view element) : element_(element), tags_(element) {}

  const std::vector<std::string>& Lines(const std::string& name) {
    auto it = cache_.find(name);
    if (it == cache_.end()) {
      it = cache_.emplace(name, std::vector<std::string>()).first;
      const size_t at = tags_.Find(name);
      if (at != std::string_view::npos)
        ElementAttributesToLines(element_.substr(at), name, it->second);
    }
    return it->second;
  }

 private:
  std::string_view element_;
  TFirstStartTags tags_;
  std::unordered_map<std::string, std::vector<std::string>> cache_;
};

}  // namespace kv
