#include "parse/xml_lines.h"

#include <algorithm>
#include <array>
#include <limits>

#include "base/text_helpers.h"

namespace kv {

namespace {

constexpr char kProtectedBlank = '\x95';
constexpr size_t kNone = std::string_view::npos;

// Names with these bytes could make the tags we look for overlap one another; the callers
// only ever pass plain element names.
bool IsPlainName(std::string_view name) {
  return name.find_first_of("</>") == kNone;
}

size_t CountOccurrences(std::string_view s, std::string_view sub) {
  size_t n = 0;
  for (size_t p = s.find(sub); p != kNone; p = s.find(sub, p + sub.size())) ++n;
  return n;
}

int DecimalDigits(int64_t n) {
  int d = 1;
  while (n >= 10) {
    n /= 10;
    ++d;
  }
  return d;
}

// The number whose FormatIndex2 form is `digits`, or -1 ("07" -> 7, "12" -> 12; "7", "012"
// are not forms).
int64_t IndexFromForm(std::string_view digits) {
  if (digits.size() < 2) return -1;
  if (digits[0] == '0' && digits.size() > 2) return -1;
  int64_t n = 0;
  for (char c : digits) n = n * 10 + (c - '0');
  return n;
}

size_t DigitRun(std::string_view s, size_t from, size_t limit) {
  size_t e = from;
  while (e < s.size() && e - from < limit && s[e] >= '0' && s[e] <= '9') ++e;
  return e - from;
}

}  // namespace

size_t PosFrom(std::string_view sub, std::string_view s, size_t from) {
  if (from < 1) from = 1;
  if (sub.empty() || from >= s.size()) return 0;
  const size_t p = s.find(sub, from - 1);
  return p == kNone ? 0 : p + 1;
}

std::string ReplaceAll(std::string_view s, std::string_view old_text, std::string_view new_text) {
  if (old_text.empty()) return std::string(s);
  std::string out;
  out.reserve(s.size());
  size_t at = 0;
  for (size_t p = s.find(old_text); p != kNone; p = s.find(old_text, at)) {
    out.append(s, at, p - at);
    out.append(new_text);
    at = p + old_text.size();
  }
  out.append(s, at, kNone);
  return out;
}

std::string FormatIndex2(int64_t n) {
  const uint64_t v = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
  std::string s = std::to_string(v);
  return v < 10 ? "0" + s : s;
}

// The text first gets ":00" after every "<name" and "</name"; then each end marker
// "</name:00>" is paired with the nearest unpaired start marker before it, end markers taken
// left to right. That is the same pairing, in the same order, as repeatedly taking the first
// start marker, the first end marker after it and the innermost start marker between them.
// Both steps are done in one pass over the original text: every "<name" is a start marker
// and every "</name" followed by ">" an end marker, because the inserted ":00" can neither
// create nor hide a tag name.
void NumberElements(std::string_view text, std::string_view name, int& count,
                    std::string& result) {
  count = 0;
  const std::string open_tag = "<" + std::string(name);
  const std::string close_tag = "</" + std::string(name);
  if (!IsPlainName(name)) {
    result = ReplaceAll(ReplaceAll(text, open_tag, open_tag + ":00"), close_tag, close_tag + ":00");
    return;
  }
  struct Token {
    size_t end;  // where ":NN" goes: just after the tag name
    bool is_open;
    bool is_marker;  // an end tag counts only when ">" follows its ":00"
    int64_t number;  // 0: stays ":00"
  };
  std::vector<Token> tokens;
  size_t po = text.find(open_tag), pc = text.find(close_tag);
  while (po != kNone || pc != kNone) {
    if (pc == kNone || (po != kNone && po < pc)) {
      tokens.push_back({po + open_tag.size(), true, true, 0});
      po = text.find(open_tag, po + open_tag.size());
    } else {
      const size_t end = pc + close_tag.size();
      tokens.push_back({end, false, end < text.size() && text[end] == '>', 0});
      pc = text.find(close_tag, end);
    }
  }
  std::vector<size_t> stack;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].is_open) {
      stack.push_back(i);
    } else if (tokens[i].is_marker && !stack.empty()) {
      const int64_t number = ++count;
      tokens[stack.back()].number = number;
      tokens[i].number = number;
      stack.pop_back();
    }
  }

  result.clear();
  result.reserve(text.size() + 4 * tokens.size());
  size_t at = 0;
  for (const Token& t : tokens) {
    result.append(text, at, t.end - at);
    result.append(":").append(t.number == 0 ? std::string("00") : FormatIndex2(t.number));
    at = t.end;
  }
  result.append(text, at, kNone);
}

// Rewrites in place, at most 100 times. Instead of searching the whole text after every
// rewrite to see whether a start tag is left, the number of "<name " left is kept: a rewrite
// removes the one it expands and adds one only when the expanded tag's attribute text ends
// in "<name" (the inserted blank then completes it).
void NumberSelfClosing(std::string_view text, std::string_view name, int& count,
                       std::string& result) {
  count = 0;
  result.assign(text);
  if (!IsPlainName(name)) return;
  const std::string start_tag = "<" + std::string(name) + " ";
  const std::string bare_tag = "<" + std::string(name);
  size_t left = CountOccurrences(result, start_tag);
  size_t start = 1;
  for (;;) {
    if (count + 1 >= 101) return;
    ++count;
    const size_t p = PosFrom(start_tag, result, start);
    if (p == 0) return;
    const size_t q = PosFrom("/>", result, p);
    if (q == 0) return;
    const size_t attr_from = p - 1 + bare_tag.size();
    const std::string_view attrs(result.data() + attr_from, (q - 1) - attr_from);
    const bool makes_new_tag = attrs.size() >= bare_tag.size() &&
                               attrs.substr(attrs.size() - bare_tag.size()) == bare_tag;
    const std::string nn = FormatIndex2(count - 1);
    std::string expanded;
    expanded.reserve(attrs.size() + 2 * name.size() + 16);
    expanded.append(bare_tag).append(":").append(nn).append(" ").append(attrs);
    expanded.append(" ></").append(name).append(":").append(nn).append(">");
    result.replace(p - 1, q + 1 - (p - 1), expanded);
    left = left - 1 + (makes_new_tag ? 1 : 0);
    if (left == 0) return;
    start = q + 1;
  }
}

namespace {

bool IsSpaceOrBreak(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The start tags of exactly the name in `open` ("<" + name), left to right: `attrs_from` is the
// first byte after the name, `end` the position after the closing ">".
// Start tags overlap nothing but their own bytes, so a walk over all of them is linear.
struct TStartTag {
  size_t attrs_from, end;
};

bool NextStartTag(std::string_view text, std::string_view open, size_t& from, TStartTag& tag) {
  for (size_t p = text.find(open, from); p != kNone; p = text.find(open, p + 1)) {
    const size_t after = p + open.size();
    if (after >= text.size()) break;
    const char c = text[after];
    if (!IsSpaceOrBreak(c) && c != '/' && c != '>') continue;
    const size_t gt = text.find_first_of("<>", after);
    if (gt == kNone) break;
    if (text[gt] == '<') {
      p = gt - 1;  // an unclosed start tag: go on from the next "<"
      continue;
    }
    tag = {after, gt + 1};
    from = gt + 1;
    return true;
  }
  from = kNone;
  return false;
}

bool EndsSelfClosing(std::string_view text, const TStartTag& tag) {
  return tag.end - 1 > tag.attrs_from && text[tag.end - 2] == '/';
}

}  // namespace

std::string PairSelfClosing(std::string_view text, std::string_view name) {
  const std::string open = "<" + std::string(name);
  std::string out;
  size_t copied = 0, from = 0;
  TStartTag tag;
  while (!name.empty() && NextStartTag(text, open, from, tag)) {
    if (!EndsSelfClosing(text, tag)) continue;
    const std::string_view attrs = text.substr(tag.attrs_from, tag.end - 2 - tag.attrs_from);
    out.append(text, copied, tag.attrs_from - copied).append(attrs);
    if (!attrs.empty() && !IsSpaceOrBreak(attrs.back())) out.push_back(' ');
    out.append("></").append(name).append(">");
    copied = tag.end;
  }
  if (copied == 0) return std::string(text);
  out.append(text, copied, kNone);
  return out;
}

std::string SelfCloseEmptyPairs(std::string_view text, std::string_view name) {
  const std::string open = "<" + std::string(name);
  const std::string close = "</" + std::string(name);
  std::string out;
  size_t copied = 0, from = 0;
  TStartTag tag;
  while (!name.empty() && NextStartTag(text, open, from, tag)) {
    if (EndsSelfClosing(text, tag)) continue;
    size_t p = tag.end;
    while (p < text.size() && IsSpaceOrBreak(text[p])) ++p;
    if (text.substr(p, close.size()) != close) continue;
    p += close.size();
    while (p < text.size() && IsSpaceOrBreak(text[p])) ++p;
    if (p >= text.size() || text[p] != '>') continue;
    out.append(text, copied, tag.end - 1 - copied).append("/>");
    copied = p + 1;
    from = p + 1;
  }
  if (copied == 0) return std::string(text);
  out.append(text, copied, kNone);
  return out;
}

void NumberAttributeTags(std::string_view text, int& counter, std::string& result) {
  static constexpr std::string_view kTag = "<attribute ";
  result.clear();
  size_t at = 0;
  if (counter < 101) {
    for (size_t p = text.find(kTag); p != kNone && counter < 101; p = text.find(kTag, at)) {
      ++counter;
      result.append(text, at, p - at).append("<attribute_");
      if (counter < 10) result.push_back('0');
      if (counter >= 100) result.push_back(static_cast<char>('0' + counter / 100));
      if (counter >= 10) result.push_back(static_cast<char>('0' + counter / 10 % 10));
      result.push_back(static_cast<char>('0' + counter % 10));
      result.push_back(' ');
      at = p + kTag.size();
    }
  }
  result.append(text, at, kNone);
}

void NumberAttributeTags(std::string& text, int& counter) {
  std::string out;
  NumberAttributeTags(text, counter, out);
  text.swap(out);
}

std::string ExtractElement(std::string_view text, std::string_view name, int64_t n) {
  const std::string nn = FormatIndex2(n);
  const std::string s = "<" + std::string(name) + ":" + nn;
  const std::string e = "</" + std::string(name) + ":" + nn + ">";
  const size_t p = text.find(s);
  const size_t q = text.find(e);
  if (p == kNone || q == kNone || q <= p) return {};
  return std::string(text.substr(p, q + e.size() - p));
}

namespace {

// One pass over the text: the first place of every numbered start marker "<name:NN" (a
// marker also matches where its digits are followed by more digits) and of every end tag
// "</name:NN>", for the numbers first..first+count-1.
std::vector<std::string_view> ExtractRange(std::string_view text, std::string_view name,
                                           int64_t first, int count) {
  std::vector<std::string_view> out;
  if (count <= 0) return out;
  out.resize(static_cast<size_t>(count));
  const int64_t last = first + count - 1;
  const size_t max_form = static_cast<size_t>(std::max(2, DecimalDigits(last)));
  std::vector<size_t> open_at(static_cast<size_t>(count), kNone);
  std::vector<size_t> close_at(static_cast<size_t>(count), kNone);
  const std::string open = "<" + std::string(name) + ":";
  const std::string close = "</" + std::string(name) + ":";

  for (size_t p = text.find(open); p != kNone; p = text.find(open, p + 1)) {
    const size_t d = p + open.size();
    const size_t run = DigitRun(text, d, max_form);
    for (size_t len = 2; len <= run; ++len) {
      const int64_t n = IndexFromForm(text.substr(d, len));
      if (n < first || n > last) continue;
      size_t& slot = open_at[static_cast<size_t>(n - first)];
      if (slot == kNone) slot = p;
    }
  }
  for (size_t p = text.find(close); p != kNone; p = text.find(close, p + 1)) {
    const size_t d = p + close.size();
    const size_t run = DigitRun(text, d, max_form + 1);
    if (run > max_form || d + run >= text.size() || text[d + run] != '>') continue;
    const int64_t n = IndexFromForm(text.substr(d, run));
    if (n < first || n > last) continue;
    size_t& slot = close_at[static_cast<size_t>(n - first)];
    if (slot == kNone) slot = p;
  }
  for (int i = 0; i < count; ++i) {
    const size_t p = open_at[static_cast<size_t>(i)];
    const size_t q = close_at[static_cast<size_t>(i)];
    if (p == kNone || q == kNone || q <= p) continue;
    const size_t end_len = close.size() + FormatIndex2(first + i).size() + 1;
    out[static_cast<size_t>(i)] = text.substr(p, q + end_len - p);
  }
  return out;
}

}  // namespace

std::vector<std::string_view> ExtractElements(std::string_view text, std::string_view name,
                                              int count) {
  return ExtractRange(text, name, 1, count);
}

std::vector<std::string_view> ExtractElementsFromZero(std::string_view text,
                                                      std::string_view name, int count) {
  return ExtractRange(text, name, 0, count);
}

namespace {

// The quoted values whose blanks must not split a tag: the first 21 values, those that are
// not blank only. [begin, end) ranges, in order; returns how many.
using TRanges = std::array<std::pair<size_t, size_t>, 21>;
size_t ProtectedRanges(std::string_view tag, TRanges& ranges) {
  size_t count = 0, from = 0;
  for (int i = 0; i < 21; ++i) {
    const size_t eq = tag.find("=\"", from);
    if (eq == kNone) break;
    const size_t end = tag.find('"', eq + 2);
    if (end == kNone) break;
    if (tag.substr(eq + 2, end - (eq + 2)).find_first_not_of(' ') != kNone)
      ranges[count++] = {eq + 2, end};
    from = end + 1;
  }
  return count;
}

// Blanks inside quoted values must not split the tag.
void ProtectQuotedBlanks(std::string& tag) {
  TRanges ranges;
  const size_t count = ProtectedRanges(tag, ranges);
  for (size_t r = 0; r < count; ++r)
    for (size_t k = ranges[r].first; k < ranges[r].second; ++k)
      if (tag[k] == ' ') tag[k] = kProtectedBlank;
}

}  // namespace

void ElementAttributesToLines(std::string_view element, std::string_view name,
                              std::vector<std::string>& lines) {
  lines.clear();
  const size_t p = PosFrom("<" + std::string(name), element, 1);
  if (p == 0) return;
  const size_t q = PosFrom(">", element, p);
  if (q == 0) return;
  std::string tag(element.substr(p - 1, q - p + 1));
  ProtectQuotedBlanks(tag);

  size_t at = 0;
  while (at <= tag.size()) {
    size_t stop = at;
    while (stop < tag.size() && tag[stop] != ' ' && tag[stop] != '\r' && tag[stop] != '\n') ++stop;
    std::string_view piece(tag.data() + at, stop - at);
    at = stop + 1;
    const size_t eq = piece.find('=');
    if (eq == kNone) continue;
    // Protected blanks become blanks again before the trimming.
    std::string restored;
    if (piece.find(kProtectedBlank) != kNone) {
      restored.assign(piece);
      std::replace(restored.begin(), restored.end(), kProtectedBlank, ' ');
      piece = restored;
    }
    std::string key = TrimBlanks(piece.substr(0, eq));
    std::string value = TrimBlanks(piece.substr(eq + 1));
    std::erase(value, '"');
    lines.push_back(std::move(key.append(": ").append(value)));
  }
}

// The same split as ElementAttributesToLines without rewriting the tag: a blank splits unless
// it lies in a protected value. The parts are cut from a copy of the tag in which
// protected blanks and 0x95 bytes are blanks again (as the lines have them); a value that
// is one quoted run is a view, any other has its quotes dropped in place.
void StartTagLines(std::string_view text, std::string& buffer, std::vector<TAttributeLine>& lines) {
  lines.clear();
  const size_t gt = text.find('>');
  if (gt == kNone) {
    buffer.clear();
    return;
  }
  const std::string_view tag = text.substr(0, gt + 1);
  TRanges ranges;
  const size_t protected_count = ProtectedRanges(tag, ranges);
  buffer.assign(tag);
  if (tag.find(kProtectedBlank) != kNone)
    std::replace(buffer.begin(), buffer.end(), kProtectedBlank, ' ');
  const std::string_view copy(buffer);
  char* const out = buffer.data();
  size_t next_cr = tag.find('\r'), next_lf = tag.find('\n');
  size_t r = 0;
  size_t at = 0;
  while (at <= tag.size()) {
    if (next_cr < at) next_cr = tag.find('\r', at);
    if (next_lf < at) next_lf = tag.find('\n', at);
    const size_t line_break = std::min(next_cr, next_lf);
    size_t blank = tag.find(' ', at);
    while (blank < line_break) {
      while (r < protected_count && ranges[r].second <= blank) ++r;
      if (r == protected_count || blank < ranges[r].first) break;
      blank = tag.find(' ', ranges[r].second);
    }
    const size_t stop = std::min({blank, line_break, tag.size()});
    const size_t begin = at;
    at = stop + 1;
    const size_t eq = tag.substr(0, stop).find('=', begin);
    if (eq == kNone) continue;
    const std::string_view key = TrimBlankView(copy.substr(begin, eq - begin));
    const std::string_view raw = TrimBlankView(copy.substr(eq + 1, stop - eq - 1));
    if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"' &&
        raw.substr(1, raw.size() - 2).find('"') == kNone) {
      lines.push_back({key, raw.substr(1, raw.size() - 2)});
      continue;
    }
    const size_t from = static_cast<size_t>(raw.data() - copy.data());
    const size_t end = from + raw.size();
    size_t to = from;
    for (size_t k = from; k < end; ++k) {
      const char c = out[k];
      out[to] = c;
      to += c != '"';
    }
    lines.push_back({key, copy.substr(from, to - from)});
  }
}

// Only a line that ends in ">" can name a start tag, and a line ends in ">" only where a ">"
// ends it (a line break or the end of the text never follows one directly), so the walk
// goes from ">" to ">" and starts each line after the last line break before it.
void ChildElementNameViews(std::string_view text, std::vector<std::string_view>& names,
                           std::deque<std::string>& built) {
  names.clear();
  built.clear();
  size_t next_cr = text.find('\r'), next_lf = text.find('\n');
  size_t after_gt = 0;
  for (size_t gt = text.find('>'); gt != kNone; after_gt = gt + 1, gt = text.find('>', after_gt)) {
    size_t start = after_gt;
    for (; next_cr < gt; next_cr = text.find('\r', next_cr + 1)) start = std::max(start, next_cr + 1);
    for (; next_lf < gt; next_lf = text.find('\n', next_lf + 1)) start = std::max(start, next_lf + 1);
    std::string_view line = text.substr(start, gt + 1 - start);
    while (line.front() == ' ') line.remove_prefix(1);
    if (line.find('<') == kNone || line.find("</") != kNone) continue;
    const size_t blank = line.find(' ');
    if (blank == kNone) continue;
    std::string_view tag = line.substr(0, blank + 1);
    if (tag.front() == '<' && tag.find('<', 1) == kNone) {
      tag.remove_prefix(1);
    } else {
      std::string& copy = built.emplace_back();
      for (char c : tag)
        if (c != '<') copy.push_back(c);
      tag = copy;
    }
    const size_t colon = tag.find(':');
    if (colon != kNone) tag = TrimBlankView(tag.substr(0, colon));
    if (!tag.empty()) names.push_back(tag);
  }
}

void ChildElementNames(std::string_view text, std::vector<std::string>& names) {
  std::vector<std::string_view> views;
  std::deque<std::string> built;
  ChildElementNameViews(text, views, built);
  names.assign(views.begin(), views.end());
}

}  // namespace kv
