#include "pages/template_engine.h"

#include <array>
#include <string_view>
#include <utility>

#include "resources/resource_store.h"
#include "base/text_helpers.h"

namespace kv {

Tmail_list::Tmail_list(const TMFileList& files)
    : source_([&files](const std::string& name, std::string& bytes) { return files.Find(name, bytes); }) {}

Tmail_list::Tmail_list(TTemplateSource source) : source_(std::move(source)) {}

void Tmail_list::ClearPairs() {
  placeholders_.clear();
  values_.clear();
  result_.clear();
}

void Tmail_list::AddPair(const std::string& placeholder, const std::string& value) {
  placeholders_.push_back(placeholder);
  values_.push_back(value);
}

const std::string* Tmail_list::Template(const std::string& file_name) {
  const auto sep = file_name.find_last_of("/\\:");
  const std::string key = sep == std::string::npos ? file_name : file_name.substr(sep + 1);
  for (const TLineMessage& cached : cache_)
    if (cached.name == key) return &cached.text;
  std::string bytes;
  if (!source_ || !source_(key, bytes)) return nullptr;
  cache_.push_back({NormaliseLines(bytes), key});
  return &cache_.back().text;
}

void Tmail_list::ApplyTemplate(const std::string& file_name) {
  if (const std::string* text = Template(file_name)) ApplyText(*text);
}

bool Tmail_list::ApplyInOnePass(const std::string& text) {
  const std::vector<std::string_view> placeholders(placeholders_.begin(), placeholders_.end());
  const std::vector<std::string_view> values(values_.begin(), values_.end());
  std::string out;
  if (!TCompiledTemplate(text, placeholders).AppendTo(out, values)) return false;
  result_ = std::move(out);
  return true;
}

// Why one pass is safe under these conditions: every "@" of the result comes from the
// template, and two "@"s that are not one token have a byte between them that no
// placeholder holds, so no placeholder can match across them.
TCompiledTemplate::TCompiledTemplate(std::string_view text, std::span<const std::string_view> placeholders)
    : placeholders_(placeholders.size()), text_(text) {
  std::array<bool, 256> in_placeholder{};
  for (std::string_view p : placeholders) {
    if (p.size() < 3 || p.front() != '@' || p.back() != '@' || p.find('@', 1) != p.size() - 1) return;
    for (char c : p) in_placeholder[static_cast<unsigned char>(c)] = true;
  }
  std::size_t pos = 0;
  for (bool first = true;; first = false) {
    const std::size_t open = text.find('@', pos);
    if (open == std::string_view::npos) {
      segments_.push_back({pos, text.size() - pos, -1});
      break;
    }
    if (!first) {
      bool foreign = false;
      for (std::size_t k = pos; k < open && !foreign; ++k) foreign = !in_placeholder[static_cast<unsigned char>(text[k])];
      if (!foreign) return;
    }
    const std::size_t close = text.find('@', open + 1);
    if (close == std::string_view::npos) return;
    const std::string_view token = text.substr(open, close - open + 1);
    std::size_t i = 0;
    while (i < placeholders.size() && placeholders[i] != token) ++i;
    if (i < placeholders.size())
      segments_.push_back({pos, open - pos, static_cast<int>(i)});
    else
      segments_.push_back({pos, close + 1 - pos, -1});  // no pair names it: it stays
    pos = close + 1;
  }
  compiled_ = true;
}

bool TCompiledTemplate::AppendTo(std::string& out, std::span<const std::string_view> values) const {
  if (!compiled_ || values.size() != placeholders_) return false;
  for (std::string_view v : values)
    if (v.find('@') != std::string_view::npos) return false;
  for (const Segment& s : segments_) {
    out.append(text_.substr(s.from, s.size));
    if (s.value >= 0) out.append(values[static_cast<std::size_t>(s.value)]);
  }
  return true;
}

void Tmail_list::ApplyText(const std::string& text) {
  if (ApplyInOnePass(text)) return;
  // ReplaceString for each pair in turn, but a pair whose placeholder is absent costs one
  // search and no copy, and the two buffers are reused from pair to pair.
  std::string result = text;
  std::string next;
  for (std::size_t i = 0; i < placeholders_.size(); ++i) {
    const std::string& search = placeholders_[i];
    std::size_t at = search.empty() ? std::string::npos : result.find(search);
    if (at == std::string::npos) continue;
    next.clear();
    next.reserve(result.size() + values_[i].size());
    std::size_t from = 0;
    for (; at != std::string::npos; at = result.find(search, from)) {
      next.append(result, from, at - from);
      next.append(values_[i]);
      from = at + search.size();
    }
    next.append(result, from, std::string::npos);
    result.swap(next);
  }
  result_ = std::move(result);
}

TPreparedTemplate::TPreparedTemplate(std::string file_name, std::vector<std::string_view> placeholders)
    : file_name_(std::move(file_name)), placeholders_(std::move(placeholders)) {}

const TCompiledTemplate& TPreparedTemplate::Compiled(Tmail_list& engine) {
  if (!prepared_) {
    prepared_ = true;
    if (const std::string* text = engine.Template(file_name_)) compiled_ = TCompiledTemplate(*text, placeholders_);
  }
  return compiled_;
}

void TPreparedTemplate::ApplyPairs(Tmail_list& engine, const Pairs& pairs, std::string& out) const {
  engine.ClearPairs();
  for (const auto& [placeholder, value] : pairs) engine.AddPair(placeholder, value);
  engine.ApplyTemplate(file_name_);
  out += engine.GetResult();
}

void TPreparedTemplate::AppendTo(Tmail_list& engine, std::span<const std::string_view> values, std::string& out) {
  if (Compiled(engine).AppendTo(out, values)) return;
  Pairs pairs;
  for (std::size_t i = 0; i < values.size() && i < placeholders_.size(); ++i)
    pairs.emplace_back(placeholders_[i], values[i]);
  ApplyPairs(engine, pairs, out);
}

void TPreparedTemplate::AppendTo(Tmail_list& engine, const Pairs& pairs, std::string& out) {
  bool in_order = pairs.size() == placeholders_.size();
  for (std::size_t i = 0; in_order && i < pairs.size(); ++i) in_order = pairs[i].first == placeholders_[i];
  if (in_order) {
    std::vector<std::string_view> values;
    values.reserve(pairs.size());
    for (const auto& pair : pairs) values.emplace_back(pair.second);
    if (Compiled(engine).AppendTo(out, values)) return;
  }
  ApplyPairs(engine, pairs, out);
}

std::string ReplaceString(std::string_view text, std::string_view search, std::string_view replacement) {
  if (text.empty() || search.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t from = 0;
  for (std::size_t at = text.find(search); at != std::string_view::npos; at = text.find(search, from)) {
    out.append(text.substr(from, at - from));
    out.append(replacement);
    from = at + search.size();
  }
  out.append(text.substr(from));
  return out;
}

std::string NormaliseLines(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32 + 2);
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t end = FindLineBreak(text, i);
    if (end == std::string_view::npos) {
      out.append(text.substr(i));
      out += "\r\n";
      break;
    }
    out.append(text.substr(i, end - i));
    out += "\r\n";
    i = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return out;
}

}  // namespace kv
