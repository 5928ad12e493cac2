#include <windows.h>

#include <cstdio>
#include <exception>
#include <mutex>
#include <thread>

#include "platform/main_loop.h"
#include "platform/program_folder.h"
#include "platform/registry.h"
#include "platform/service_control.h"
#include "platform/win32/system_error.h"

namespace kv::platform {
namespace {

class ScopedServiceHandle {
 public:
  explicit ScopedServiceHandle(SC_HANDLE h) : h_(h) {}
  ~ScopedServiceHandle() {
    if (h_ != nullptr) CloseServiceHandle(h_);
  }
  ScopedServiceHandle(const ScopedServiceHandle&) = delete;
  ScopedServiceHandle& operator=(const ScopedServiceHandle&) = delete;
  SC_HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  SC_HANDLE h_;
};

void Tell(const ServiceDefinition& def, bool silent, bool error, const std::string& text) {
  if (error) std::fprintf(stderr, "%s\n", text.c_str());
  if (silent) return;
  MessageBoxA(nullptr, text.c_str(), def.application_title.c_str(),
              MB_OK | MB_SETFOREGROUND | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

int Install(const ServiceDefinition& def, bool silent, ServiceHandlers& handlers) {
  const std::string failed = "Service \"" + def.display_name + "\" failed to install: ";
  ScopedServiceHandle scm(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!scm) {
    Tell(def, silent, true, failed + SystemErrorText(GetLastError()));
    return 1;
  }
  const std::string command = "\"" + ExecutablePath() + "\"";
  ScopedServiceHandle service(CreateServiceA(scm.get(), def.name.c_str(), def.display_name.c_str(),
                                             SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                             SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, command.c_str(),
                                             nullptr, nullptr, nullptr, nullptr, nullptr));
  if (!service) {
    Tell(def, silent, true, failed + SystemErrorText(GetLastError()));
    return 1;
  }
  try {
    handlers.AfterInstall();
  } catch (const std::exception& e) {
    Tell(def, silent, true, failed + e.what());
    return 1;
  }
  Tell(def, silent, false, "Service installed successfully");
  return 0;
}

int Uninstall(const ServiceDefinition& def, bool silent, ServiceHandlers& handlers) {
  const std::string failed = "Service \"" + def.display_name + "\" failed to uninstall: ";
  ScopedServiceHandle scm(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!scm) {
    Tell(def, silent, true, failed + SystemErrorText(GetLastError()));
    return 1;
  }
  ScopedServiceHandle service(OpenServiceA(scm.get(), def.name.c_str(), SERVICE_ALL_ACCESS));
  if (!service || !DeleteService(service.get())) {
    Tell(def, silent, true, failed + SystemErrorText(GetLastError()));
    return 1;
  }
  try {
    handlers.AfterUninstall();
  } catch (const std::exception& e) {
    Tell(def, silent, true, failed + e.what());
    return 1;
  }
  Tell(def, silent, false, "Service uninstalled successfully");
  return 0;
}

// The running service. The dispatcher's callbacks are plain functions, so the state of
// the one service of this process lives here.
struct RunningService {
  const ServiceDefinition* definition = nullptr;
  ServiceHandlers* handlers = nullptr;
  EventLogSink* events = nullptr;
  SERVICE_STATUS_HANDLE status_handle = nullptr;
  std::mutex mutex;  // guards status and checkpoint
  SERVICE_STATUS status{};
  HANDLE stop_event = nullptr;
  int exit_code = 0;
};

RunningService g_service;

void ReportStatus(DWORD state, DWORD exit_code = NO_ERROR, DWORD specific = 0) {
  std::lock_guard<std::mutex> lock(g_service.mutex);
  SERVICE_STATUS& s = g_service.status;
  s.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  s.dwCurrentState = state;
  s.dwControlsAccepted = (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
                          state == SERVICE_STOPPED)
                             ? 0
                             : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PAUSE_CONTINUE;
  s.dwWin32ExitCode = exit_code;
  s.dwServiceSpecificExitCode = specific;
  bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
                 state == SERVICE_PAUSE_PENDING || state == SERVICE_CONTINUE_PENDING;
  s.dwCheckPoint = pending ? s.dwCheckPoint + 1 : 0;
  s.dwWaitHint = pending ? 30000 : 0;
  if (g_service.status_handle != nullptr) SetServiceStatus(g_service.status_handle, &s);
}

DWORD WINAPI ControlHandler(DWORD control, DWORD, LPVOID, LPVOID) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      ReportStatus(SERVICE_STOP_PENDING);
      SetEvent(g_service.stop_event);
      return NO_ERROR;
    case SERVICE_CONTROL_PAUSE:
      // No pause handler: collection and serving simply go on.
      ReportStatus(SERVICE_PAUSED);
      return NO_ERROR;
    case SERVICE_CONTROL_CONTINUE:
      ReportStatus(SERVICE_RUNNING);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE: {
      DWORD state;
      {
        std::lock_guard<std::mutex> lock(g_service.mutex);
        state = g_service.status.dwCurrentState;
      }
      ReportStatus(state);
      return NO_ERROR;
    }
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
  g_service.status_handle = RegisterServiceCtrlHandlerExA(g_service.definition->name.c_str(),
                                                          ControlHandler, nullptr);
  if (g_service.status_handle == nullptr) {
    g_service.exit_code = 1;
    return;
  }
  ReportStatus(SERVICE_START_PENDING);
  try {
    g_service.handlers->Start();
  } catch (const std::exception& e) {
    g_service.events->Report(EventType::kError, e.what());
    g_service.exit_code = 1;
    ReportStatus(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR, 1);
    return;
  } catch (...) {
    g_service.events->Report(EventType::kError, "Service start failed");
    g_service.exit_code = 1;
    ReportStatus(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR, 1);
    return;
  }
  ReportStatus(SERVICE_RUNNING);
  WaitForSingleObject(g_service.stop_event, INFINITE);
  ReportStatus(SERVICE_STOP_PENDING);
  try {
    g_service.handlers->Stop();
  } catch (...) {
  }
  ReportStatus(SERVICE_STOPPED);
}

int Run(const ServiceDefinition& def, ServiceHandlers& handlers, EventLogSink& events, MainLoop& loop) {
  g_service.definition = &def;
  g_service.handlers = &handlers;
  g_service.events = &events;
  g_service.stop_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (g_service.stop_event == nullptr) return 1;

  // The dispatcher takes this thread, so the main loop gets a thread of its own.
  std::thread loop_thread([&loop] { loop.Run(); });

  std::string name = def.name;
  SERVICE_TABLE_ENTRYA table[] = {{name.data(), ServiceMain}, {nullptr, nullptr}};
  int exit_code = 0;
  if (!StartServiceCtrlDispatcherA(table)) {
    DWORD error = GetLastError();
    std::fprintf(stderr, "%s runs as a Windows service (install it with /INSTALL): %s\n",
                 def.display_name.c_str(), SystemErrorText(error).c_str());
    exit_code = 1;
  } else {
    exit_code = g_service.exit_code;
  }
  loop.Quit();
  loop_thread.join();
  CloseHandle(g_service.stop_event);
  g_service.stop_event = nullptr;
  return exit_code;
}

}  // namespace

int InstallService(const ServiceDefinition& definition, bool silent, ServiceHandlers& handlers) {
  return Install(definition, silent, handlers);
}

int UninstallService(const ServiceDefinition& definition, bool silent, ServiceHandlers& handlers) {
  return Uninstall(definition, silent, handlers);
}

int RunService(const ServiceDefinition& definition, ServiceHandlers& handlers, EventLogSink& events,
               MainLoop& loop) {
  return Run(definition, handlers, events, loop);
}

bool SetServiceDescription(const std::string& name, const std::string& description) {
  return RegistryWriteString("\\SYSTEM\\CurrentControlSet\\Services\\" + name, "Description", description, 1251);
}

}  // namespace kv::platform
