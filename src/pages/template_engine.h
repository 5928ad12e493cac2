#pragma once
// Tmail_list: the page template engine. Holds an ordered list of placeholder/value pairs,
// fetches a template by file name and applies the pairs to it in order.
//
//   ClearPairs(); AddPair("@id@", "3"); AddPair("@title@", "Disk 3");
//   ApplyTemplate("tpl_block.txt"); page += GetResult();
//
// Pairs are applied one after the other to the whole text, so a placeholder inside a value
// inserted by an earlier pair is filled by a later pair; a value is never searched again by
// its own pair, so a value holding its own placeholder cannot loop.
//
// Templates come from the embedded files the caller hands in (never from disk) and are
// fetched at most once per instance: later uses hit the instance's cache. A fetched template is normalised to lines
// each followed by CR LF. One instance per rendering; not shared between threads.
#include <deque>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kv {

class TMFileList;

// Where templates come from: fills `bytes` and returns true, or returns false when the
// file is not there.
using TTemplateSource = std::function<bool(const std::string& file_name, std::string& bytes)>;

struct TLineMessage {
  std::string text;
  std::string name;  // file name without any path
};

class Tmail_list {
 public:
  // Templates from the store, which must outlive the instance.
  explicit Tmail_list(const TMFileList& files);
  explicit Tmail_list(TTemplateSource source);

  // Empties both pair lists and the result; the template cache stays.
  void ClearPairs();
  // Appends a pair; duplicates are applied in turn.
  void AddPair(const std::string& placeholder, const std::string& value);
  // Applies the pairs to the template; when it can be found nowhere, nothing changes.
  void ApplyTemplate(const std::string& file_name);
  void ApplyText(const std::string& text);
  const std::string& GetResult() const { return result_; }
  // The template as ApplyTemplate uses it (fetched and normalised once), or null when it
  // can be found nowhere.
  const std::string* Template(const std::string& file_name);

 private:
  // ApplyText in one pass, when that is sure to give the same text; false otherwise.
  bool ApplyInOnePass(const std::string& text);

  TTemplateSource source_;
  std::deque<TLineMessage> cache_;  // a deque: Template() hands out references
  std::vector<std::string> placeholders_;
  std::vector<std::string> values_;
  std::string result_;
};

// A template prepared once for a fixed list of placeholders, for a template filled many
// times over (a table row per SMART attribute). Filling it appends the literal runs and the
// values in one pass, and gives exactly what applying the pairs in turn gives. That holds
// when every placeholder is "@word@", the template's "@"s pair up into such tokens, the text
// between two tokens holds a byte that no placeholder holds, and no value holds "@": then a
// match of any pair is always one whole token of the template, filled by the first pair
// naming it. Otherwise the caller applies the pairs in turn.
//
// The template text is not copied: it must outlive the compiled template.
class TCompiledTemplate {
 public:
  TCompiledTemplate() = default;
  TCompiledTemplate(std::string_view text, std::span<const std::string_view> placeholders);

  // Appends the filled template to `out`, `values[i]` for `placeholders[i]`. False, with
  // nothing appended, when the one-pass result could differ: the template did not qualify
  // or a value holds "@".
  bool AppendTo(std::string& out, std::span<const std::string_view> values) const;

 private:
  struct Segment {
    std::size_t from = 0, size = 0;  // a literal run of text_
    int value = -1;                  // then the value of this placeholder, -1 for none
  };
  bool compiled_ = false;
  std::size_t placeholders_ = 0;
  std::string_view text_;  // the caller's text, which must outlive this
  std::vector<Segment> segments_;
};

// A template of an engine's source with a fixed list of placeholders, prepared on first use
// and filled many times (a row per drive): in one pass when a TCompiledTemplate can, else by
// the engine applying the pairs in turn, which gives the same text. The placeholders are
// views of texts that outlive this (literals).
class TPreparedTemplate {
 public:
  using Pairs = std::vector<std::pair<std::string, std::string>>;

  TPreparedTemplate(std::string file_name, std::vector<std::string_view> placeholders);

  // Appends the template filled with `values`, one per placeholder in their order.
  void AppendTo(Tmail_list& engine, std::span<const std::string_view> values, std::string& out);
  void AppendTo(Tmail_list& engine, std::initializer_list<std::string_view> values, std::string& out) {
    AppendTo(engine, std::span<const std::string_view>(values.begin(), values.size()), out);
  }
  // The same from pairs; pairs that are not exactly the placeholders in order are applied in
  // turn as they are.
  void AppendTo(Tmail_list& engine, const Pairs& pairs, std::string& out);

 private:
  const TCompiledTemplate& Compiled(Tmail_list& engine);
  void ApplyPairs(Tmail_list& engine, const Pairs& pairs, std::string& out) const;

  std::string file_name_;
  std::vector<std::string_view> placeholders_;
  bool prepared_ = false;
  TCompiledTemplate compiled_;
};

// Every occurrence of `search` in `text` replaced by `replacement`, scanning left to right;
// inserted text is not searched again. Case-sensitive. An empty text or search string
// leaves the text unchanged.
std::string ReplaceString(std::string_view text, std::string_view search, std::string_view replacement);

// Lines (CR LF, LF or CR end a line) joined with CR LF after each line, the last included.
std::string NormaliseLines(std::string_view text);

}  // namespace kv
