#pragma once
// The health verdict of one cycle: OK, Warning or Critical, with one reason per finding.
//
//   Critical  the controller status is not good; a logical or zepCache device is offline
//             or failed; a member or spare drive has failed or its SMART verdict is Bad;
//             the backup unit has failed
//   Warning   a logical device is not optimal; a member is missing; the backup unit is not
//             ready (nothing fitted is fine); another drive has failed or is Bad; a SMART
//             verdict is Caution; a status word nobody knows; the last collection failed;
//             a file of the monitor cannot be written; (with history on) a predictive
//             SMART value grew this week, see history/growth_window.h
//
// Each reason names its object and the link that shows it. Pure; any thread that
// owns the model.
#include <string>
#include <vector>

#include "health/smart_verdict.h"
#include "model/kv_core.h"

namespace kv {

enum class THealth { OK = 0, Warning = 1, Critical = 2 };

// "OK", "Warning", "Critical".
const char* HealthWord(THealth health);

// Where a drive sits, as the pages and the change lines name it: "0,7"; "-" stands for an
// empty part.
std::string DrivePlace(const TResultHDD& drive);

// For each drive of `result`, in order: whether its serial names it, that is, it has one
// and no other drive of the listing shares it (ignoring case); a redacted capture repeats
// one serial for every drive. The change lines and the drive history both key drives so.
std::vector<bool> DrivesKnownBySerial(const TKVResult& result);
// How a reason names a drive, "Drive 0,7 (S/N WD-1)", and its drive page, "hdd_0_7".
std::string DriveObject(const TResultHDD& drive);
std::string DriveLink(const TResultHDD& drive);

struct THealthReason {
  THealth Level = THealth::OK;
  std::string Object;  // "Drive 0,7", "Logical device 1 (System)", "Backup unit", ...
  std::string Link;    // where the pages show it: "#c_ld_1", "hdd_0_7" (its drive page), "#controller"
  std::string Text;    // "Failed", "Degraded", "SMART Caution: attribute 5 raw 12", ...
};

struct THealthVerdict {
  THealth Level = THealth::OK;
  std::vector<THealthReason> Reasons;  // in page order: controller, devices, drives
};

// `drives` holds JudgeDrives(core, ...); `collectionFailure` names why the last collection
// failed ("config source timed out"), empty when it did not.
THealthVerdict JudgeHealth(const TKVCore& core, const std::vector<TSmartVerdict>& drives,
                           const std::string& collectionFailure);

// Adds a Warning reason of the monitor itself for each text, after the others: "Cannot
// write korvane_monitor_state.txt: No space left on device".
void AddMonitorWarnings(THealthVerdict& verdict, const std::vector<std::string>& texts);

}  // namespace kv
