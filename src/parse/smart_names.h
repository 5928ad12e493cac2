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
// The text is embedded in the executable; the table does not read the resource store
// itself (tests hand in their own text), so the collection side installs a loader with
// SetSmartParamsLoader at start-up and the default constructor asks it. Without a loader
// (or when the file is absent) the table is empty. The loader may be called from any
// thread; a table is immutable once built.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

struct TKVSmartNamesItem {
  int32_t Id = -1;
  std::string Name;
};

// Returns the text of smart_params.txt, or an empty text when it is not available.
using TSmartParamsLoader = std::function<std::string()>;
void SetSmartParamsLoader(TSmartParamsLoader loader);

class TKVSmartNamesList {
 public:
  // Built from the text the installed loader returns.
  TKVSmartNamesList();
  // Built from the given text of smart_params.txt.
  explicit TKVSmartNamesList(std::string_view smartParamsText);

  // The table of the installed loader, built on first use and kept until another loader
  // is installed: renderers ask for it once per drive page.
  static std::shared_ptr<const TKVSmartNamesList> Shared();

  std::string NameOf(int32_t id) const;
  int Count() const { return static_cast<int>(items_.size()); }
  const TKVSmartNamesItem& Item(int index) const { return items_[static_cast<size_t>(index)]; }

 private:
  void Load(std::string_view text);
  std::vector<TKVSmartNamesItem> items_;
};

}  // namespace kv
