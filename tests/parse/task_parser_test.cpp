// The task status listing: one task per complete block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/kv_core.h"
#include "parse/task_parser.h"

namespace kv {
namespace {

std::vector<std::string> Tasks(const std::string& text) {
  TKVCore core;
  ParseTasks(text, core);
  std::vector<std::string> out;
  for (int i = 0; i < core.Tasks.Count(); ++i) {
    const TKVTaskItem& t = core.Tasks.Item(i);
    out.push_back(t.TaskId + "|" + t.LogicalDevice + "|" + t.CurrentOperation + "|" + t.Status +
                  "|" + t.PercentageComplete);
  }
  return out;
}

const char kBlock101[] =
    "   Logical device                 : 0\n"
    "   Task ID                        : 101\n"
    "   Current operation              : Build/Verify\n"
    "   Status                         : In Progress\n"
    "   Priority                       : High\n"
    "   Percentage complete            : 12\n";

TEST(TaskParser, BlocksBecomeTasksInOrder) {
  using V = std::vector<std::string>;
  struct Row {
    const char* name;
    std::string text;
    V expected;
  } rows[] = {
      {"no heading", kBlock101, V{}},
      {"one block", std::string("Controllers found: 1\nLogical device Task:\n") + kBlock101,
       V{"101|0|Build/Verify|In Progress|12"}},
      {"two blocks",
       std::string("Logical device Task:\n") + kBlock101 +
           "Logical Device Task:\n   Logical Device : 1\n   Task ID : 102\n"
           "   Current operation : Rebuild\n",
       V{"101|0|Build/Verify|In Progress|12", "102|1|Rebuild||"}},
      {"heading in capitals", std::string("LOGICAL DEVICE TASK:\n") + kBlock101,
       V{"101|0|Build/Verify|In Progress|12"}},
      {"heading with a trailing blank", std::string("Logical device Task: \n") + kBlock101, V{}},
      {"heading with a leading blank", std::string(" Logical device Task:\n") + kBlock101, V{}},
      {"no current operation",
       "Logical device Task:\n   Logical device : 0\n   Task ID : 101\n   Status : Done\n", V{}},
      {"empty values do not count",
       "Logical device Task:\n   Logical device : 0\n   Task ID : 101\n"
       "   Current operation : \n",
       V{}},
      {"later line overwrites, CR LF and blank lines between",
       "Logical device Task:\r\n\r\n   Logical device : 0\r\n\r\n   Task ID : 7\r\n"
       "   Current operation : Compacting\r\n   Percentage complete : 9\r\n"
       "   Percentage complete : 10\r\n",
       V{"7|0|Compacting||10"}},
      {"keys are exact", "Logical device Task:\n   Logical device number : 0\n   Task ID : 1\n"
       "   Current operation : Rebuild\n", V{}},
  };
  for (const Row& row : rows) EXPECT_EQ(Tasks(row.text), row.expected) << row.name;
}

}  // namespace
}  // namespace kv
