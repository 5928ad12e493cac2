#pragma once
// Synthetic controller utility outputs for tests and the benchmark: SMART XML for any
// number of SATA and SAS drives, controller-log / cache statistics XML, and a matching
// configuration listing (same controller serial, same channels and ids), written the way
// an XML writer prints them (mixed-case names). Several controllers: one listing each, every
// one with the same "Controllers found: N", and a serial prefix of its own per controller.
#include <string>

namespace kv::synth {

struct TOptions {
  int Sata = 0;
  int Sas = 0;
  std::string ControllerSerial = "7A1B2C3D";
  std::string DeviceName = "Korvane 71605";
  int ControllersFound = 1;  // the listing's "Controllers found: N"
  std::string SerialPrefix = "KV";  // of every drive serial
  // Every drive judged Good (no SAS "Failure", no predictive SATA counts, no medium errors)
  // and a logical device section whose segments name the drives, so that the verdict is
  // OK and a failed drive is a failed member. Off: the listings the benchmarks were timed on.
  bool Healthy = false;
};

// Drive k (SATA first, then SAS) sits on channel k / 128 with id k % 128.
int ChannelOf(int drive);
int IdOf(int drive);

// Logical drives over `drives` drives: one per 8, at least one. With Healthy the last one
// also takes the drives left over.
int LogicalCount(int drives);

std::string Smart(const TOptions& o);
// Controller-log statistics; `logical` logical drives over all the drives.
std::string Stats(const TOptions& o, int logical);
std::string Config(const TOptions& o);

// Controller `number` (1..controllers) of `controllers` alike ones of `drives` drives, half
// SATA, half SAS. With more than one, its controller and drive serials are its own; one
// controller is the plain options.
TOptions ControllerOf(int drives, int number, int controllers);

}  // namespace kv::synth
