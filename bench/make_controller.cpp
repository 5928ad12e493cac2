// Writes the saved listings of a synthetic controller (half SATA, half SAS, one logical
// drive per 8 drives) into a folder, for running the monitor on a large controller:
//
//   make_controller [--healthy] DRIVES FOLDER [CONTROLLERS]
//
// The folder then serves as a program folder with get_config.txt, get_smartstats.txt,
// get_logs_stats.txt and get_logs_cache.txt as sources. With CONTROLLERS (2 to 8), every
// controller gets DRIVES drives with serials of its own and its files are named
// get_config_1.txt, get_config_2.txt ...: sources "get_config_{controller}.txt" and so on.
// Every listing says "Controllers found: CONTROLLERS".
// Without --healthy every drive has SMART findings, some SAS drives say Failure, and there
// are no logical devices: the listings the benchmarks are timed on. With it the monitor
// judges the controller OK, and the configuration lists logical devices of 8 member drives
// each, so that one drive turned "State : Failed" in get_config.txt is a Critical verdict.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "parse/smart_synthetic.h"

int main(int argc, char** argv) {
  const bool healthy = argc > 1 && std::string(argv[1]) == "--healthy";
  if (healthy) {
    --argc;
    ++argv;
  }
  if (argc != 3 && argc != 4) {
    std::cerr << "usage: make_controller [--healthy] DRIVES FOLDER [CONTROLLERS]\n";
    return 2;
  }
  const int drives = std::atoi(argv[1]);
  if (drives < 1 || drives > 65536) {
    std::cerr << "DRIVES must be 1 to 65536\n";
    return 2;
  }
  const int controllers = argc == 4 ? std::atoi(argv[3]) : 1;
  if (controllers < 1 || controllers > 8) {
    std::cerr << "CONTROLLERS must be 1 to 8\n";
    return 2;
  }
  const std::filesystem::path folder = argv[2];
  std::filesystem::create_directories(folder);
  for (int number = 1; number <= controllers; ++number) {
    kv::synth::TOptions o = kv::synth::ControllerOf(drives, number, controllers);
    o.Healthy = healthy;
    const std::string suffix = controllers > 1 ? "_" + std::to_string(number) : "";
    const std::string stats = kv::synth::Stats(o, kv::synth::LogicalCount(drives));
    const std::pair<const char*, std::string> files[] = {{"get_config", kv::synth::Config(o)},
                                                         {"get_smartstats", kv::synth::Smart(o)},
                                                         {"get_logs_stats", stats},
                                                         {"get_logs_cache", stats}};
    for (const auto& [name, text] : files) {
      const std::filesystem::path path = folder / (name + suffix + ".txt");
      std::ofstream out(path, std::ios::binary);
      out << text;
      if (!out) {
        std::cerr << "cannot write " << path.string() << "\n";
        return 1;
      }
    }
  }
  return 0;
}
