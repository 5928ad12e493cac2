#include "service/service_config.h"

#include "platform/files.h"

namespace kv {

ServiceConfig ReadServiceConfig(const TMemIniFile& ini) {
  ServiceConfig config;
  const int64_t port = ini.ReadInteger("http", "port", kDefaultPort);
  // A wider value would wrap when bound: 70000 would listen on 4464.
  if (port >= 1 && port <= 65535)
    config.port = port;
  else
    config.port_out_of_range = ini.ReadString("http", "port", "");
  config.use_http = ini.ReadBool("http", "use", config.use_http);
  config.timeout = ini.ReadInteger("scaner", "timeout", config.timeout);
  config.logging = ini.ReadBool("scaner", "log", config.logging);
  return config;
}

std::string PortOutOfRangeLine(const std::string& value) {
  return "ERROR! [http] port=" + value + " is outside 1..65535, using " + std::to_string(kDefaultPort);
}

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
