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
#include <functional>
#include <string>
#include <string_view>
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

 private:
  // ApplyText in one pass, when that is sure to give the same text; false otherwise.
  bool ApplyInOnePass(const std::string& text);

  TTemplateSource source_;
  std::vector<TLineMessage> cache_;
  std::vector<std::string> placeholders_;
  std::vector<std::string> values_;
  std::string result_;
};

// Every occurrence of `search` in `text` replaced by `replacement`, scanning left to right;
// inserted text is not searched again. Case-sensitive. An empty text or search string
// leaves the text unchanged.
std::string ReplaceString(std::string_view text, std::string_view search, std::string_view replacement);

// Lines (CR LF, LF or CR end a line) joined with CR LF after each line, the last included.
std::string NormaliseLines(std::string_view text);

}  // namespace kv
