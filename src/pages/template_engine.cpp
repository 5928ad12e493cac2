#include "pages/template_engine.h"

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

void Tmail_list::ApplyText(const std::string& text) {
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
