// Linux restart: systemd when it runs the unit, else the signal-and-start fallback.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "platform/reload_control.h"

extern char** environ;

namespace kv::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Runs a program (no shell) and returns its exit code, or -1 when it could not run or had
// to be ended after `timeout_seconds`.
int RunProgram(std::vector<std::string> words, int timeout_seconds) {
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  const auto deadline = Clock::now() + std::chrono::seconds(timeout_seconds);
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) return -1;
    if (Clock::now() >= deadline) {
      kill(pid, SIGKILL);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Systemctl() {
  if (access("/run/systemd/system", F_OK) != 0) return "";  // systemd is not the init system
  for (const char* candidate : {"/usr/bin/systemctl", "/bin/systemctl"})
    if (access(candidate, X_OK) == 0) return candidate;
  return "";
}

std::string ResolvedPath(const std::string& path) {
  char buffer[PATH_MAX];
  if (realpath(path.c_str(), buffer) == nullptr) return path;
  return buffer;
}

// The executable of a process, "" when it has none any more (ended, zombie, no access).
std::string ProcessExecutable(pid_t pid) {
  char buffer[PATH_MAX];
  const std::string link = "/proc/" + std::to_string(pid) + "/exe";
  const ssize_t n = readlink(link.c_str(), buffer, sizeof buffer - 1);
  if (n <= 0) return "";
  std::string exe(buffer, static_cast<size_t>(n));
  constexpr char kDeleted[] = " (deleted)";
  if (exe.size() > sizeof kDeleted - 1 && exe.ends_with(kDeleted)) exe.resize(exe.size() - (sizeof kDeleted - 1));
  return exe;
}

std::vector<pid_t> ProcessesOf(const std::string& exe) {
  std::vector<pid_t> found;
  DIR* dir = opendir("/proc");
  if (dir == nullptr) return found;
  const pid_t self = getpid();
  while (dirent* entry = readdir(dir)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || pid <= 0 || pid == self) continue;
    if (ProcessExecutable(static_cast<pid_t>(pid)) == exe) found.push_back(static_cast<pid_t>(pid));
  }
  closedir(dir);
  return found;
}

bool AllGone(const std::vector<pid_t>& pids, const std::string& exe, int seconds) {
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    bool any = false;
    for (pid_t pid : pids) any = any || ProcessExecutable(pid) == exe;
    if (!any) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

bool RestartProcess(const ReloadTarget& target, const ReloadLog& log) {
  const std::string exe = ResolvedPath(target.program_path);
  if (access(exe.c_str(), X_OK) != 0) {
    log("Cannot restart: " + target.program_path + " is not an executable file");
    return false;
  }
  const std::vector<pid_t> pids = ProcessesOf(exe);
  if (pids.empty()) log("No running process of " + exe + " found");
  for (pid_t pid : pids) {
    log("Sending SIGTERM to process " + std::to_string(pid));
    kill(pid, SIGTERM);
  }
  if (!AllGone(pids, exe, target.wait_seconds)) {
    for (pid_t pid : pids) {
      if (ProcessExecutable(pid) != exe) continue;
      log("Process " + std::to_string(pid) + " did not stop in " + std::to_string(target.wait_seconds) +
          " s; sending SIGKILL");
      kill(pid, SIGKILL);
    }
    if (!AllGone(pids, exe, 5)) {
      log("The old process does not end; not starting a second one");
      return false;
    }
  }
  if (!pids.empty()) log("Stopped");
  log("Starting " + exe + " in " + target.program_folder);
  // The new monitor inherits standard output and error; whoever started this program must
  // not be kept waiting on them by a daemon.
  const int null_fd = open("/dev/null", O_WRONLY);
  if (null_fd >= 0) {
    dup2(null_fd, 1);
    dup2(null_fd, 2);
    if (null_fd > 2) close(null_fd);
  }
  if (!LaunchDetached("\"" + exe + "\"", target.program_folder)) {
    log("Cannot start " + exe);
    return false;
  }
  log("Started");
  return true;
}

}  // namespace

bool RestartServiceNow(const ReloadTarget& target, const ReloadLog& log) {
  const std::string systemctl = Systemctl();
  const std::string unit = target.service + ".service";
  if (!systemctl.empty() && RunProgram({systemctl, "is-active", "--quiet", unit}, 30) == 0) {
    // This program runs inside the unit's control group: the stop ends it too, so the
    // restart is queued with systemd rather than waited for.
    log("Restarting through systemd: systemctl --no-block restart " + unit);
    const int code = RunProgram({systemctl, "--no-block", "restart", unit}, 30);
    if (code != 0) log("systemctl failed with exit code " + std::to_string(code));
    return code == 0;
  }
  log("Service \"" + target.service + "\" is not an active systemd unit; restarting the process");
  return RestartProcess(target, log);
}

}  // namespace kv::platform
