// The INI reader on arbitrary text: every key it lists can be read back, and reading a
// key never fails whatever the section and key text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  kv::TMemIniFile ini(text);
  for (std::string_view section : {"http", "state", "drive", ""}) {
    for (const std::string& key : ini.ReadSectionKeys(section)) {
      if (!ini.ValueExists(section, key)) std::abort();
      (void)ini.ReadString(section, key, "");
      (void)ini.ReadInteger(section, key, 0);
      (void)ini.ReadBool(section, key, false);
    }
  }
  (void)ini.ReadInteger("http", "port", 31313);
  (void)ini.SectionExists(text.substr(0, 16));
  return 0;
}
