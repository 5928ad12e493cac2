#pragma once
// Synthetic controller utility outputs for tests and the benchmark: SMART XML for any
// number of SATA and SAS drives, controller-log / cache statistics XML, and a matching
// configuration listing (same controller serial, same channels and ids), written the way
// an XML writer prints them (mixed-case names).
#include <string>

namespace kv::synth {

struct TOptions {
  int Sata = 0;
  int Sas = 0;
  std::string ControllerSerial = "7A1B2C3D";
  std::string DeviceName = "Korvane 71605";
};

// Drive k (SATA first, then SAS) sits on channel k / 128 with id k % 128.
int ChannelOf(int drive);
int IdOf(int drive);

std::string Smart(const TOptions& o);
// Controller-log statistics; `logical` logical drives over all the drives.
std::string Stats(const TOptions& o, int logical);
std::string Config(const TOptions& o);

}  // namespace kv::synth
