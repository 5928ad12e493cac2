#include <windows.h>

#include "platform/event_log.h"
#include "platform/registry.h"

namespace kv::platform {
namespace {

const char kEventLogKey[] = "\\SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\";

class WindowsEventLog : public EventLogSink {
 public:
  explicit WindowsEventLog(const std::string& source)
      : handle_(RegisterEventSourceA(nullptr, source.c_str())) {}
  ~WindowsEventLog() override {
    if (handle_ != nullptr) DeregisterEventSource(handle_);
  }
  WindowsEventLog(const WindowsEventLog&) = delete;
  WindowsEventLog& operator=(const WindowsEventLog&) = delete;

  void Report(EventType type, const std::string& text) override { ReportWithId(type, 1, text); }

  // Every id has a "%1" entry in the executable's message table, so the text shows as is.
  void ReportWithId(EventType type, int event_id, const std::string& text) override {
    if (handle_ == nullptr) return;
    const char* strings[1] = {text.c_str()};
    const WORD kind = type == EventType::kError     ? EVENTLOG_ERROR_TYPE
                      : type == EventType::kWarning ? EVENTLOG_WARNING_TYPE
                                                    : EVENTLOG_INFORMATION_TYPE;
    ReportEventA(handle_, kind, 0, static_cast<DWORD>(event_id), nullptr, 1, 0, strings, nullptr);
  }

 private:
  HANDLE handle_;
};

}  // namespace

std::unique_ptr<EventLogSink> OpenSystemEventLog(const std::string& source) {
  return std::make_unique<WindowsEventLog>(source);
}

bool RegisterEventLogSource(const std::string& source, const std::string& message_file) {
  const std::string key = kEventLogKey + source;
  // EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE
  return RegistryWriteString(key, "EventMessageFile", message_file) &&
         RegistryWriteInteger(key, "TypesSupported", 7);
}

bool UnregisterEventLogSource(const std::string& source) {
  return RegistryDeleteKey(kEventLogKey + source);
}

}  // namespace kv::platform
