#pragma once
// What a status word of the utility means for the people watching the controller.
//
// One table classifies every word the utility prints as the state of the controller, a
// logical or zepCache device, a drive or the backup unit. A word is matched without regard
// to case on its text before any "(", trimmed: "Impacted ( Build/Verify with fix : 90 % )"
// reads as "impacted", "Raw (Pass Through)" as "raw". A word the table does not know is
// Unknown, which the verdict treats as a warning, never as good. Pure; any thread.
#include <string>
#include <string_view>

namespace kv {

enum class TStatusClass {
  Good,        // Optimal, Okay, OK, Ready, Online, Raw (Pass Through), Online (JBOD), ...
  Spare,       // Hot Spare, Global Hot-Spare, Dedicated Hot-Spare
  NotFitted,   // Not Installed, ZMM not installed, Not Present: nothing there to fail
  NotOptimal,  // Degraded, Impacted, Rebuilding, Inconsistent, Not Ready, ...
  Missing,     // Missing
  Failed,      // Failed, Defunct, Offline, Fatal, Dead
  Unknown,     // not in the table (or nothing printed)
};

TStatusClass ClassifyStatus(std::string_view text);

// The words the table matches on: lower-cased, before any "(", blanks trimmed.
std::string StatusKey(std::string_view text);

}  // namespace kv
