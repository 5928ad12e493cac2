#pragma once
// In-memory INI reader shared by config_http.txt and the state report.
//
//   [http]
//   port=0x7A51      ; hexadecimal, read as 31313
//
// Rules: lines are trimmed of blanks and control characters; empty lines and lines that
// start with ";" are skipped; "[name]" opens a section; lines before the first section are
// ignored; "key=value" (trimmed around the first "=") or a bare key; section and key names
// compare without regard to ASCII case; a repeated section header replaces the earlier
// section of that name, a repeated key replaces the earlier value.
//
// Immutable once loaded; safe to read from several threads.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

class TMemIniFile {
 public:
  TMemIniFile() = default;
  explicit TMemIniFile(std::string_view text) { Load(text); }

  // Replaces the content with the lines of `text` (CR LF, LF or CR line ends).
  void Load(std::string_view text);
  // The same, reading `text` in place and keeping it alive rather than copying it. A text
  // of 4 GiB or more is read up to its last line that starts below 4 GiB.
  void Load(std::shared_ptr<const std::string> text);

  std::string ReadString(std::string_view section, std::string_view key,
                         const std::string& default_value) const;
  // Decimal, "0x"/"0X" hexadecimal (value longer than two characters) or "$" hexadecimal.
  // A missing key, empty value, trailing garbage or out-of-range number gives the default.
  int64_t ReadInteger(std::string_view section, std::string_view key, int64_t default_value) const;
  // Read as an integer with default 1 (true) or 0 (false); any non-zero integer is true.
  bool ReadBool(std::string_view section, std::string_view key, bool default_value) const;
  // True when the (last) section of that name holds at least one line.
  bool SectionExists(std::string_view section) const;
  // Keys of the (last) section of that name, in file order, last occurrences only.
  std::vector<std::string> ReadSectionKeys(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;

 private:
  // Keys and values are places in text_, which is shared and never changed once loaded,
  // so copies of a reader stay valid. A state report of thousands of sections is read back
  // every cycle, so the look-ups go through two open-addressing tables hashed without
  // regard to ASCII case, rather than through strings or nodes of their own. The entries
  // are kept small: a report of 500 drives has 40,000 lines, and the reader of the last
  // good one is kept between cycles.
  struct Span {
    uint32_t pos = 0;
    uint32_t size = 0;
  };
  struct Entry {
    Span key;
    Span value;
    uint32_t section = 0;
    uint32_t hash = 0;  // of the section index and the key
    bool live = true;   // false once a later line of the same key replaced it
  };
  struct Section {
    Span name;
    uint32_t hash = 0;
    uint32_t first = 0;  // the section's lines are entries_[first, end)
    uint32_t end = 0;
  };

  // `part` lies in `text`.
  static Span SpanOf(std::string_view text, std::string_view part);
  std::string_view View(Span span) const { return std::string_view(*text_).substr(span.pos, span.size); }
  const Entry* FindEntry(std::string_view section, std::string_view key) const;
  // Index of the last section of that name, or npos.
  size_t FindSection(std::string_view name) const;
  // Slot of the last section of that name, or the free slot where it would go.
  size_t SectionSlot(std::string_view name, uint32_t hash) const;
  size_t KeySlot(size_t section, std::string_view key, uint32_t hash) const;

  std::shared_ptr<const std::string> text_;
  std::vector<Section> sections_;
  std::vector<Entry> entries_;
  // 1 + an index into sections_ or entries_ (the last of a name or key), 0 for a free slot;
  // at most half full, sizes a power of two.
  std::vector<uint32_t> section_slots_;
  std::vector<uint32_t> key_slots_;
};

// Integer reading used by TMemIniFile::ReadInteger; exposed for callers that hold a bare value.
bool ParseIniInteger(std::string_view text, int64_t& value);

}  // namespace kv
