#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <thread>

#include "platform/files.h"
#include "platform/main_loop.h"
#include "platform/program_folder.h"
#include "platform/service_control.h"
#include "platform/service_unit_template.h"

extern char** environ;

namespace kv::platform {
namespace {

std::string UnitPath(const std::string& name) { return SystemdUnitFolder() + "/" + name + ".service"; }

bool UsingDefaultUnitFolder() {
  const char* dir = std::getenv("KORVANE_SYSTEMD_DIR");
  return dir == nullptr || *dir == '\0';
}

// Unit files are UTF-8; the program's texts are Windows-1251. Cyrillic letters are
// converted, other high bytes become "?", control characters become blanks, and "%"
// is doubled so systemd does not read it as a specifier.
std::string UnitText(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    unsigned code = 0;
    if (c >= 0xC0) code = 0x410 + (c - 0xC0);
    else if (c == 0xA8) code = 0x401;
    else if (c == 0xB8) code = 0x451;
    if (code != 0) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (c >= 0x80) {
      out += '?';
    } else if (c < 0x20 || c == 0x7F) {
      out += ' ';
    } else if (c == '%') {
      out += "%%";
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// ExecStart= with the path quoted for systemd's own word splitting.
std::string QuotedExecPath(const std::string& path) {
  std::string out = "\"";
  for (char c : path) {
    if (c == '\\' || c == '"') out += '\\';
    if (c == '%') out += '%';
    out += c;
  }
  return out + "\"";
}

std::string ReplaceAll(std::string text, const std::string& what, const std::string& with) {
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

void ReloadSystemd() {
  if (!UsingDefaultUnitFolder()) return;
  const char* systemctl = nullptr;
  for (const char* candidate : {"/usr/bin/systemctl", "/bin/systemctl"})
    if (access(candidate, X_OK) == 0) systemctl = candidate;
  if (systemctl == nullptr) return;
  char arg0[] = "systemctl";
  char arg1[] = "daemon-reload";
  char* argv[] = {arg0, arg1, nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, systemctl, nullptr, nullptr, argv, environ) != 0) return;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

void Tell(bool silent, const std::string& text) {
  if (!silent) std::printf("%s\n", text.c_str());
}

void Complain(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

int Install(const ServiceDefinition& def, bool silent, ServiceHandlers& handlers) {
  const std::string exe = ExecutablePath();
  const std::string unit = UnitPath(def.name);
  if (exe.empty() || exe.find_first_of("\r\n") != std::string::npos) {
    Complain("Service \"" + def.name + "\" failed to install: the executable path cannot be used");
    return 1;
  }
  std::string text = ReplaceAll(kServiceUnitTemplate, "@DESCRIPTION@", UnitText(def.display_name));
  text = ReplaceAll(text, "@EXEC_START@", QuotedExecPath(exe));
  if (!WriteWholeFile(unit, text)) {
    Complain("Service \"" + def.name + "\" failed to install: cannot write " + unit);
    return 1;
  }
  try {
    handlers.AfterInstall();
  } catch (const std::exception& e) {
    Complain("Service \"" + def.name + "\" failed to install: " + e.what());
    return 1;
  }
  ReloadSystemd();
  Tell(silent, "Service installed successfully (" + unit + ")");
  return 0;
}

int Uninstall(const ServiceDefinition& def, bool silent, ServiceHandlers& handlers) {
  const std::string unit = UnitPath(def.name);
  if (!FileExists(unit)) {
    Complain("Service \"" + def.name + "\" failed to uninstall: " + unit + " does not exist");
    return 1;
  }
  if (!RemoveFileAt(unit)) {
    Complain("Service \"" + def.name + "\" failed to uninstall: cannot remove " + unit);
    return 1;
  }
  try {
    handlers.AfterUninstall();
  } catch (const std::exception& e) {
    Complain("Service \"" + def.name + "\" failed to uninstall: " + e.what());
    return 1;
  }
  ReloadSystemd();
  Tell(silent, "Service uninstalled successfully");
  return 0;
}

int Run(ServiceHandlers& handlers, EventLogSink& events, MainLoop& loop) {
  // Block the stop signals before any thread exists: every thread inherits the mask and
  // only the control thread takes them, with sigwait.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  // A client that hangs up must not end the process.
  signal(SIGPIPE, SIG_IGN);

  int exit_code = 0;
  std::thread control([&] {
    try {
      handlers.Start();
    } catch (const std::exception& e) {
      events.Report(EventType::kError, e.what());
      exit_code = 1;
      loop.Quit();
      return;
    } catch (...) {
      events.Report(EventType::kError, "Service start failed");
      exit_code = 1;
      loop.Quit();
      return;
    }
    int signal_number = 0;
    while (sigwait(&stop_signals, &signal_number) != 0) {
    }
    try {
      handlers.Stop();
    } catch (...) {
    }
    loop.Quit();
  });
  loop.Run();
  control.join();
  return exit_code;
}

}  // namespace

int InstallService(const ServiceDefinition& definition, bool silent, ServiceHandlers& handlers) {
  return Install(definition, silent, handlers);
}

int UninstallService(const ServiceDefinition& definition, bool silent, ServiceHandlers& handlers) {
  return Uninstall(definition, silent, handlers);
}

int RunService(const ServiceDefinition&, ServiceHandlers& handlers, EventLogSink& events, MainLoop& loop) {
  return Run(handlers, events, loop);
}

bool SetServiceDescription(const std::string& name, const std::string& description) {
  const std::string unit = UnitPath(name);
  std::string text;
  if (ReadWholeFile(unit, text) != FileReadResult::kOk) return false;
  const std::string key = "\nDescription=";
  size_t at = text.find(key);
  if (at == std::string::npos) return false;
  at += key.size();
  size_t end = text.find('\n', at);
  text.replace(at, (end == std::string::npos ? text.size() : end) - at, UnitText(description));
  return WriteWholeFile(unit, text);
}

}  // namespace kv::platform
