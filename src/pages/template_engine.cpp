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

void Tmail_list::ApplyTemplate(const std::string& file_name) {
  const auto sep = file_name.find_last_of("/\\:");
  const std::string key = sep == std::string::npos ? file_name : file_name.substr(sep + 1);
  for (const TLineMessage& cached : cache_) {
    if (cached.name == key) {
      ApplyText(cached.text);
      return;
    }
  }
  std::string bytes;
  if (!source_ || !source_(key, bytes)) return;
  cache_.push_back({NormaliseLines(bytes), key});
  ApplyText(cache_.back().text);
}

// Applying the pairs in turn gives the same text as replacing each "@word@" token of the
// template by the value of the first pair naming it, in one pass, when:
//   - every placeholder is "@", then text without "@", then "@";
//   - no value holds "@", so every "@" of the result comes from the template;
//   - the template's "@"s pair up into such tokens;
//   - the text between two tokens holds a byte that no placeholder holds.
// Then a match of any pair is always one whole token of the template: two "@"s that are
// not one token have that foreign byte between them. Row templates, applied once per SMART
// attribute, take this path.
bool Tmail_list::ApplyInOnePass(const std::string& text) {
  std::array<bool, 256> in_placeholder{};
  std::size_t values_size = 0;
  for (std::size_t i = 0; i < placeholders_.size(); ++i) {
    const std::string& p = placeholders_[i];
    if (p.size() < 3 || p.front() != '@' || p.back() != '@' || p.find('@', 1) != p.size() - 1) return false;
    if (values_[i].find('@') != std::string::npos) return false;
    for (char c : p) in_placeholder[static_cast<unsigned char>(c)] = true;
    values_size += values_[i].size();
  }
  std::string out;
  out.reserve(text.size() + values_size);
  std::size_t pos = 0;
  for (bool first = true;; first = false) {
    const std::size_t open = text.find('@', pos);
    const std::size_t literal_end = open == std::string::npos ? text.size() : open;
    if (!first && open != std::string::npos) {
      bool foreign = false;
      for (std::size_t k = pos; k < literal_end && !foreign; ++k)
        foreign = !in_placeholder[static_cast<unsigned char>(text[k])];
      if (!foreign) return false;
    }
    out.append(text, pos, literal_end - pos);
    if (open == std::string::npos) break;
    const std::size_t close = text.find('@', open + 1);
    if (close == std::string::npos) return false;
    const std::string_view token(text.data() + open, close - open + 1);
    std::size_t i = 0;
    while (i < placeholders_.size() && placeholders_[i] != token) ++i;
    if (i < placeholders_.size())
      out.append(values_[i]);
    else
      out.append(token);
    pos = close + 1;
  }
  result_ = std::move(out);
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
