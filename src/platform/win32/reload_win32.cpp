// Windows restart through the service control manager.
#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/reload_control.h"

namespace kv::platform {
namespace {

class ServiceHandle {
 public:
  explicit ServiceHandle(SC_HANDLE h) : h_(h) {}
  ~ServiceHandle() {
    if (h_ != nullptr) CloseServiceHandle(h_);
  }
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  SC_HANDLE get() const { return h_; }

 private:
  SC_HANDLE h_;
};

std::string ErrorText(const char* what) { return std::string(what) + " failed, error " + std::to_string(GetLastError()); }

bool Query(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
  DWORD needed = 0;
  return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                              &needed) != 0;
}

// Polls until the service reaches `wanted`; false on a query failure or after the bound.
bool WaitForState(SC_HANDLE service, DWORD wanted, int seconds, SERVICE_STATUS_PROCESS& status) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    if (!Query(service, status)) return false;
    if (status.dwCurrentState == wanted) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

}  // namespace

bool RestartServiceNow(const ReloadTarget& target, const ReloadLog& log) {
  ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (manager.get() == nullptr) {
    log(ErrorText("OpenSCManager"));
    return false;
  }
  ServiceHandle service(
      OpenServiceA(manager.get(), target.service.c_str(), SERVICE_STOP | SERVICE_START | SERVICE_QUERY_STATUS));
  if (service.get() == nullptr) {
    log(ErrorText("OpenService"));
    return false;
  }
  SERVICE_STATUS_PROCESS status{};
  if (!Query(service.get(), status)) {
    log(ErrorText("QueryServiceStatusEx"));
    return false;
  }
  if (status.dwCurrentState != SERVICE_STOPPED) {
    log("Stopping service \"" + target.service + "\" (process " + std::to_string(status.dwProcessId) + ")");
    SERVICE_STATUS plain{};
    if (status.dwCurrentState != SERVICE_STOP_PENDING && !ControlService(service.get(), SERVICE_CONTROL_STOP, &plain) &&
        GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
      log(ErrorText("ControlService(stop)"));
      return false;
    }
    if (!WaitForState(service.get(), SERVICE_STOPPED, target.wait_seconds, status)) {
      log("The service did not stop within " + std::to_string(target.wait_seconds) + " s");
      return false;
    }
    log("Stopped");
  } else {
    log("Service \"" + target.service + "\" was not running");
  }
  log("Starting service \"" + target.service + "\"");
  if (!StartServiceA(service.get(), 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
    log(ErrorText("StartService"));
    return false;
  }
  if (!WaitForState(service.get(), SERVICE_RUNNING, target.wait_seconds, status)) {
    log("The service did not reach running within " + std::to_string(target.wait_seconds) + " s");
    return false;
  }
  log("Running (process " + std::to_string(status.dwProcessId) + ")");
  return true;
}

}  // namespace kv::platform
