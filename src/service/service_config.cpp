#include "service/service_config.h"

#include "platform/files.h"

namespace kv {

TMemIniFile LoadConfigFile(const std::string& program_folder) {
  const std::string path = program_folder + kConfigFileName;
  std::string text;
  switch (platform::ReadWholeFile(path, text)) {
    case platform::FileReadResult::kOk:
      return TMemIniFile(text);
    case platform::FileReadResult::kMissing:
      return TMemIniFile();
    case platform::FileReadResult::kFailed:
      break;
  }
  throw ConfigReadError("Cannot read the configuration file " + path);
}

}  // namespace kv
