#include "parse/task_parser.h"

#include <vector>

#include "base/text_case.h"
#include "base/text_helpers.h"

namespace kv {

namespace {

void FinishBlock(TKVTaskList& tasks, const std::vector<std::string>& block) {
  TKVTaskItem found;
  for (const std::string& line : block) {
    const std::string key = TrimBlanks(TextBefore(LowerCaseAscii(line), ": "));
    const std::string value = TrimBlanks(TextAfter(line, ": "));
    if (key.empty() || value.empty()) continue;
    if (key == "logical device")
      found.LogicalDevice = value;
    else if (key == "task id")
      found.TaskId = value;
    else if (key == "current operation")
      found.CurrentOperation = value;
    else if (key == "status")
      found.Status = value;
    else if (key == "percentage complete")
      found.PercentageComplete = value;
  }
  if (found.TaskId.empty() || found.LogicalDevice.empty() || found.CurrentOperation.empty())
    return;
  tasks.Add() = std::move(found);
}

}  // namespace

void ParseTaskText(TKVTaskList& tasks, const std::string& text) {
  bool begun = false;
  std::vector<std::string> block;
  for (const std::string& line : SplitLines(text)) {
    const std::string low = LowerCaseAscii(line);
    if (low == "logical device task:") {
      begun = true;
      if (!block.empty()) FinishBlock(tasks, block);
      block.clear();
    } else if (begun && !low.empty() && Contains(low, ": ")) {
      block.push_back(line);
    }
  }
  if (begun && !block.empty()) FinishBlock(tasks, block);
}

void ParseTasks(const std::string& text, TKVCore& core) { ParseTaskText(core.Tasks, text); }

}  // namespace kv
