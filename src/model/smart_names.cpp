#include "model/smart_names.h"

#include "base/ini_file.h"
#include "model/kv_core.h"

namespace kv {

namespace {

// A count beyond this is not a table anyone wrote; it would only make us look up
// sections that cannot exist.
constexpr int64_t kMaxEntries = 100000;

}  // namespace

TKVSmartNamesList::TKVSmartNamesList(std::string_view smartParamsText) { Load(smartParamsText); }

void TKVSmartNamesList::Load(std::string_view text) {
  const TMemIniFile ini(text);
  int64_t count = ini.ReadInteger("main", "count", 0);
  if (count > kMaxEntries) count = kMaxEntries;
  for (int64_t i = 0; i < count; ++i) {
    const std::string section = "p" + std::to_string(i);
    if (!ini.SectionExists(section)) continue;
    const int64_t id = ini.ReadInteger(section, "id", -1);
    const bool fits = id >= INT32_MIN && id <= INT32_MAX;
    items_.push_back({fits ? static_cast<int32_t>(id) : -1, ini.ReadString(section, "name", "")});
  }
}

const TKVSmartNamesList& SmartNamesOf(const TKVCore& core) {
  static const TKVSmartNamesList kNone;
  return core.SmartNames ? *core.SmartNames : kNone;
}

std::string TKVSmartNamesList::NameOf(int32_t id) const {
  for (const auto& item : items_)
    if (item.Id == id) return item.Name;
  return {};
}

}  // namespace kv
