#pragma once
// The task status parser: one TKVTaskItem per complete task block of the listing.
//
//   Logical device Task:
//      Logical device                 : 0
//      Task ID                        : 101
//      Current operation              : Build/Verify
//      Status                         : In Progress
//      Priority                       : High
//      Percentage complete            : 12
//
// The heading must read "logical device task:" in any letter case, nothing around it.
// A block is kept when it names a task id, a logical device and a current operation.
// ParseTasks appends to core.Tasks; ParseTaskText does the same for a bare list.
// Single-threaded.
#include <string>

#include "model/kv_core.h"

namespace kv {

void ParseTaskText(TKVTaskList& tasks, const std::string& text);
void ParseTasks(const std::string& text, TKVCore& core);

}  // namespace kv
