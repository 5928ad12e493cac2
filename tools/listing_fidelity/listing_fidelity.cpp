// listing_fidelity: what the monitor reads from every configuration listing of a folder.
//
//   listing_fidelity FOLDER
//
// For each file: the drives and how many have a channel, every logical and zepCache device
// with its status, linked members and missing member rows, the drives in each enclosure,
// the backup unit's status, the health verdict with its reasons and the core-log lines the
// parser wrote (unknown headings, bad channels). Ends with totals. Compare a row with the listing by eye when a new generation
// of the utility turns up.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "base/core_log_writer.h"
#include "health/verdict.h"
#include "model/kv_core.h"
#include "parse/build_result.h"
#include "parse/config_parser.h"

namespace {

namespace fs = std::filesystem;

struct TTotals {
  int listings = 0, drives = 0, channels = 0, in_enclosures = 0, devices = 0, members = 0,
      missing = 0, log_lines = 0;
};

template <class TRecord>
std::string DeviceText(const TRecord& d, const std::string& prefix, TTotals& totals) {
  ++totals.devices;
  totals.members += d.Members.Count();
  totals.missing += static_cast<int>(d.MissingMembers.size());
  std::string text = prefix + (d.Status.empty() ? "?" : d.Status) + " " + std::to_string(d.Members.Count());
  if (!d.MissingMembers.empty()) text += "+" + std::to_string(d.MissingMembers.size()) + " missing";
  return "[" + text + "]";
}

void Report(const fs::path& file, TTotals& totals) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  std::vector<std::string> log;
  const kv::CoreLogSink previous = kv::SetCoreLogSink([&log](const std::string& line) { log.push_back(line); });
  kv::TKVCore core;
  ParseConfig(text.str(), core);
  BuildResult(core);
  kv::SetCoreLogSink(previous);

  const kv::TKVResult& r = core.Result;
  int channels = 0;
  for (const kv::TResultHDD& d : r.HDDs) channels += !d.Channel.empty();
  std::string devices;
  for (const kv::TResultLD& ld : r.LDs) devices += DeviceText(ld, "", totals);
  for (const kv::TResultZepLD& z : r.ZepLDs) devices += DeviceText(z, "zep ", totals);
  std::string enclosures;
  for (const kv::TResultEnclosure& e : r.Enclosures) {
    int drives = 0;
    for (const kv::TResultHDD& d : r.HDDs) drives += d.Enclosure == &e;
    totals.in_enclosures += drives;
    enclosures += (enclosures.empty() ? "" : " ") + e.Id + ":" + std::to_string(drives);
  }
  const std::string bbu = r.Controller.BBUOverallStatus.empty() ? r.Controller.BBUStatus
                                                                : r.Controller.BBUOverallStatus;
  std::printf("%-28s %6d %5d  %-58s %-10s %-18s %3d\n", file.filename().string().c_str(), r.HDDs.Count(),
              channels, devices.empty() ? "-" : devices.c_str(), enclosures.empty() ? "-" : enclosures.c_str(),
              bbu.empty() ? "-" : bbu.c_str(), static_cast<int>(log.size()));
  for (const std::string& line : log) std::printf("    log: %s\n", line.c_str());
  const kv::THealthVerdict verdict = kv::JudgeHealth(core, kv::JudgeDrives(core, kv::DefaultDriveTemperatureMax()), "");
  std::printf("    health: %s\n", kv::HealthWord(verdict.Level));
  for (const kv::THealthReason& r : verdict.Reasons)
    std::printf("      %s: %s: %s\n", kv::HealthWord(r.Level), r.Object.c_str(), r.Text.c_str());
  ++totals.listings;
  totals.drives += r.HDDs.Count();
  totals.channels += channels;
  totals.log_lines += static_cast<int>(log.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || !fs::is_directory(argv[1])) {
    std::cerr << "usage: listing_fidelity FOLDER   (every regular file in it is a listing)\n";
    return 2;
  }
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(argv[1]))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::printf("%-28s %6s %5s  %-58s %-10s %-18s %3s\n", "listing", "drives", "chan",
              "devices [status members+missing]", "encl id:n", "backup unit", "log");
  TTotals t;
  for (const fs::path& file : files) Report(file, t);
  std::printf(
      "totals: %d listings, %d drives (%d with a channel, %d in enclosures), %d devices with %d "
      "members and %d missing member rows, %d core-log lines\n",
      t.listings, t.drives, t.channels, t.in_enclosures, t.devices, t.members, t.missing, t.log_lines);
  return 0;
}
