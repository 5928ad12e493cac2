#pragma once
// What changed between two cycles, for the event log, the journal, the changes file and the
// notification command.
//
// A cycle's state is kept as a TStateSnapshot: the few facts that changes are told from
// (states of drives, devices, backup unit and controller, SMART verdicts, tasks), each
// object under a stable identity:
//   a drive     by serial number, unless serials repeat in the listing (redacted
//               captures), then by channel and id;
//   a device    by its unique identifier when the listing prints one, else by number;
//   a task      by its id.
// CompareSnapshots gives one TChange per change, in a fixed order. Snapshots are saved as
// text between runs (SaveSnapshot / LoadSnapshot) so that a drive that failed while the
// service was stopped is reported at the first cycle. Pure; any thread.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "health/smart_verdict.h"
#include "model/kv_core.h"

namespace kv {

enum class TSeverity { Information = 0, Warning = 1, Critical = 2 };

// "information", "warning", "critical".
const char* SeverityName(TSeverity severity);

// One kind of change. Each has its own event id in the Windows event log (1 is the
// service's own messages); the severity of most kinds is fixed, see ChangeSeverity.
enum class TChangeKind {
  DriveFailed = 10,          // to Failed or Defunct                        Critical
  DriveGone = 11,            //                                             Warning
  DriveGood = 12,            // back to a good state                        Information
  DriveNotGood = 13,         // to another state that is not good           Warning
  DriveAppeared = 14,        //                                             Information
  DeviceFailed = 20,         // a logical or zepCache device Offline/Failed Critical
  DeviceNotGood = 21,        //                                             Warning
  DeviceGood = 22,           //                                             Information
  DeviceAppeared = 23,       //                                             Information
  DeviceGone = 24,           //                                             Warning
  MemberMissing = 25,        //                                             Warning
  BackupUnitFailed = 30,     //                                             Critical
  BackupUnitNotGood = 31,    //                                             Warning
  BackupUnitGood = 32,       //                                             Information
  ControllerBad = 40,        //                                             Critical
  ControllerGood = 41,       //                                             Information
  ControllerGone = 42,       // no longer among the controllers watched     Warning
  ControllerAppeared = 43,   // newly among them                            Information
  TaskStarted = 50,          //                                             Information
  TaskEnded = 51,            //                                             Information
  SmartWorse = 60,           // Warning, Critical when the verdict is Bad
  SmartBetter = 61,          //                                             Information
  CollectionFailing = 70,    //                                             Warning
  CollectionRecovered = 71,  //                                             Information
  HistoryRestarted = 74,     // the history file was damaged and started anew Information
  NotificationDropped = 75,  // a webhook message undelivered for 24 h       Warning
};

int EventIdOf(TChangeKind kind);

struct TChange {
  TChangeKind Kind = TChangeKind::DriveGood;
  TSeverity Severity = TSeverity::Information;
  std::string Text;  // "Drive 0,7 (S/N WD-1, enclosure 0 slot 7): Online -> Failed"
  // The same apart, for documents that machines read; empty where the change names none.
  int Controller = 0;  // the controller's number; 0 when not known
  std::string Object;  // "Drive 0,7 (S/N WD-1, enclosure 0 slot 7)", "Controller", "Collection"
  std::string Serial;  // a drive's, as printed
  std::string From, To;  // "Online", "Failed"; SMART verdicts as "SMART Caution"
};

// One line of the changes file, with its CR LF: "2026-12-09 03:10:00 critical Drive ...".
std::string ChangeFileLine(const TChange& change, int64_t now);

// A change as it was told: when, how serious, the line.
struct TChangeLine {
  int64_t Time = 0;  // local Unix seconds
  TSeverity Severity = TSeverity::Information;
  std::string Text;
};

struct TSnapshotItem {
  std::string Key;    // the identity, see above
  std::string Label;  // how a line names it: "Drive 0,7 (S/N WD-1, enclosure 0 slot 7)"
  std::string State;  // as printed
  int Extra = 0;      // drives: the SMART grade; devices: missing members
};

struct TStateSnapshot {
  std::string Controller;  // controller status
  std::string BackupUnit;  // overall status, else status
  std::vector<TSnapshotItem> Drives, Devices, Tasks;
};

// `smart` is JudgeDrives(core, ...), one per drive.
TStateSnapshot TakeSnapshot(const TKVCore& core, const std::vector<TSmartVerdict>& smart);

// The changes from `before` to `after`: controller, backup unit, devices, members, drives,
// SMART verdicts, tasks.
std::vector<TChange> CompareSnapshots(const TStateSnapshot& before, const TStateSnapshot& after);

// The two changes of the collection itself. `what` names the source and the reason:
// "config source timed out".
TChange CollectionFailingChange(const std::string& what);
TChange CollectionRecoveredChange();

// A snapshot as text and back. LoadSnapshot returns false (and leaves `snapshot` empty)
// on text it did not write, damaged or cut short.
std::string SaveSnapshot(const TStateSnapshot& snapshot);
bool LoadSnapshot(const std::string& text, TStateSnapshot& snapshot);

// Every controller's snapshot, by controller number (1 .. 8).
using TStateSnapshots = std::map<int, TStateSnapshot>;

// The saved state of every controller: a format line, then per controller a "controller N"
// line and its snapshot as SaveSnapshot writes it, then the notifications' memory (`notes`,
// lines starting "notify" and a tab, see notify/notify_policy.h; others are not written),
// then "end of state". LoadSnapshots also reads the one-controller text of earlier versions
// (as controller 1's) and files without notes; false on anything else, with `snapshots` and
// `notes` left empty.
std::string SaveSnapshots(const TStateSnapshots& snapshots, const std::vector<std::string>& notes = {});
bool LoadSnapshots(const std::string& text, TStateSnapshots& snapshots, std::vector<std::string>* notes = nullptr);

// A controller that left the set watched (`gone`) or joined it: "Controller 2: no longer
// reported by the utility".
TChange ControllerSetChange(int controller, bool gone);

}  // namespace kv
