#pragma once
// TKVSmartNamesList: the SATA attribute-name table, read from the INI text of
// "smart_params.txt":
//
//   [main]
//   count=50
//   [p20]
//   id=194
//   name=HDA temperature
//
// Sections "p0" .. "p<count-1>" are loaded (looked up by name, in any order in the file);
// sections past "count" are present in the shipped file but not read. NameOf gives the
// name of the first entry with an id, or empty.
//
// The text is embedded in the executable; the collection builds the table once from its
// resource store and hands it to every core it makes (TKVCore::SmartNames), so the
// report and the renderers read it from the core. Tests hand in their own text. A table
// is immutable once built, so any thread may read it.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

struct TKVSmartNamesItem {
  int32_t Id = -1;
  std::string Name;
};

class TKVSmartNamesList {
 public:
  TKVSmartNamesList() = default;
  // Built from the given text of smart_params.txt.
  explicit TKVSmartNamesList(std::string_view smartParamsText);

  std::string NameOf(int32_t id) const;
  int Count() const { return static_cast<int>(items_.size()); }
  const TKVSmartNamesItem& Item(int index) const { return items_[static_cast<size_t>(index)]; }

 private:
  void Load(std::string_view text);
  std::vector<TKVSmartNamesItem> items_;
};

class TKVCore;

// The table the core was handed, or an empty one.
const TKVSmartNamesList& SmartNamesOf(const TKVCore& core);

}  // namespace kv
