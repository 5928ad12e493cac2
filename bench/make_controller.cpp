// Writes the saved listings of a synthetic controller (half SATA, half SAS, one logical
// drive per 8 drives) into a folder, for running the monitor on a large controller:
//
//   make_controller DRIVES FOLDER
//
// The folder then serves as a program folder with get_config.txt, get_smartstats.txt,
// get_logs_stats.txt and get_logs_cache.txt as sources.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "parse/smart_synthetic.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: make_controller DRIVES FOLDER\n";
    return 2;
  }
  const int drives = std::atoi(argv[1]);
  if (drives < 1 || drives > 65536) {
    std::cerr << "DRIVES must be 1 to 65536\n";
    return 2;
  }
  kv::synth::TOptions o;
  o.Sas = drives / 2;
  o.Sata = drives - o.Sas;
  const std::filesystem::path folder = argv[2];
  std::filesystem::create_directories(folder);
  const std::string stats = kv::synth::Stats(o, drives / 8 > 0 ? drives / 8 : 1);
  const std::pair<const char*, std::string> files[] = {{"get_config.txt", kv::synth::Config(o)},
                                                       {"get_smartstats.txt", kv::synth::Smart(o)},
                                                       {"get_logs_stats.txt", stats},
                                                       {"get_logs_cache.txt", stats}};
  for (const auto& [name, text] : files) {
    std::ofstream out(folder / name, std::ios::binary);
    out << text;
    if (!out) {
      std::cerr << "cannot write " << (folder / name).string() << "\n";
      return 1;
    }
  }
  return 0;
}
