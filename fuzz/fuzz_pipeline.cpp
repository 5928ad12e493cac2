// One collection cycle on hostile utility output: the input is cut into the five source
// texts at "\x01" bytes (listing, SMART XML, tasks, log statistics, cache statistics),
// parsed, built, written as the state report and rendered as the main page and every
// drive page the report names.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/ini_file.h"
#include "collect/scan_list_manager.h"
#include "model/kv_core.h"
#include "model/smart_names.h"
#include "pages/drive_page.h"
#include "pages/main_page.h"
#include "parse/build_result.h"
#include "parse/config_parser.h"
#include "parse/smart_parser.h"
#include "parse/stats_parser.h"
#include "parse/task_parser.h"
#include "report/state_report.h"
#include "resources/resource_store.h"

namespace {

kv::TMFileList files;  // the embedded templates and SMART names, loaded once
std::shared_ptr<const kv::TKVSmartNamesList> smart_names;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kv::LoadEmbeddedResources(files);
  std::string text;
  files.Find("smart_params.txt", text);
  smart_names = std::make_shared<const kv::TKVSmartNamesList>(text);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string texts[5];
  for (int i = 0; i < 5; ++i) {
    const size_t cut = input.find('\x01');
    texts[i] = std::string(input.substr(0, cut));
    if (cut == std::string_view::npos) break;
    input.remove_prefix(cut + 1);
  }
  kv::TKVCore core;
  core.SmartNames = smart_names;
  ParseConfig(texts[0], core);
  ParseSmart(texts[1], core);
  ParseTasks(texts[2], core);
  ParseLogStats(texts[3], core);
  ParseCacheStats(texts[4], core);
  BuildResult(core);
  kv::TStringList lines;
  WriteStateReport(core, "1.0.0.1", lines);
  std::string report;
  for (const std::string& line : lines) report += line + "\r\n";
  (void)kv::RenderMainPage(core, "1.0.0.1", files, nullptr, 0);
  for (const std::string& key : kv::DrivePageKeys(kv::TMemIniFile(report)))
    (void)kv::RenderHddPage(core, key, files);
  return 0;
}
