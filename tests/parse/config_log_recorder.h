#pragma once
// Records the core-log lines written while it lives, restoring the previous sink after.
#include <string>
#include <vector>

#include "base/core_log_writer.h"

namespace kv {

class TCoreLogRecorder {
 public:
  TCoreLogRecorder()
      : previous_(SetCoreLogSink([this](const std::string& text) { lines.push_back(text); })) {}
  ~TCoreLogRecorder() { SetCoreLogSink(previous_); }
  TCoreLogRecorder(const TCoreLogRecorder&) = delete;
  TCoreLogRecorder& operator=(const TCoreLogRecorder&) = delete;

  std::vector<std::string> lines;

 private:
  CoreLogSink previous_;
};

}  // namespace kv
