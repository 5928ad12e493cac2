#include "platform/event_log.h"

namespace kv::platform {

std::string JournalLine(EventType type, const std::string& text) {
  std::string line = type == EventType::kError ? "<3>" : type == EventType::kWarning ? "<4>" : "<6>";
  line.reserve(line.size() + text.size() + 1);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      line += " / ";
    } else {
      line += c;
    }
  }
  line += '\n';
  return line;
}

}  // namespace kv::platform
