#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

extern char** environ;

namespace kv::platform {
namespace {

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Reset(); }
  int get() const { return fd_; }
  int* out() { return &fd_; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

int64_t MonotonicMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Words the shell runs itself; a command line starting with one of them has no program
// file to look for.
bool IsShellWord(std::string_view word) {
  static const char* const kWords[] = {
      "if", "then", "else", "elif", "fi", "case", "esac", "for", "while", "until", "do", "done",
      "in", "!", "{", "}", "[", "[[", ":", ".", "alias", "break", "cd", "command", "continue",
      "echo", "eval", "exec", "exit", "export", "false", "getopts", "hash", "kill", "printf",
      "pwd", "read", "readonly", "return", "set", "shift", "test", "times", "trap", "true",
      "type", "ulimit", "umask", "unalias", "unset", "wait", "local"};
  for (const char* w : kWords)
    if (word == w) return true;
  return false;
}

// True when the command's first word is a plain program name (no quoting or expansion the
// shell would change) that names no executable file, directly or through PATH.
// "/opt/tool/util --list ctrl=0" -> looks for /opt/tool/util.
bool NamesMissingProgram(const std::string& command_line) {
  size_t begin = command_line.find_first_not_of(" \t");
  if (begin == std::string::npos) return false;
  std::string word;
  if (command_line[begin] == '"') {
    size_t end = command_line.find('"', begin + 1);
    if (end == std::string::npos) return false;
    word = command_line.substr(begin + 1, end - begin - 1);
    if (end + 1 < command_line.size() && command_line[end + 1] != ' ' && command_line[end + 1] != '\t')
      return false;
  } else {
    size_t end = command_line.find_first_of(" \t", begin);
    word = command_line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
  }
  if (word.empty() || IsShellWord(word)) return false;
  if (word.find_first_of("$`'\"\\(){}<>|&;*?~=[]#") != std::string::npos) return false;
  if (word.find('/') != std::string::npos) return !IsExecutableFile(word);
  const char* path_env = std::getenv("PATH");
  std::string path = path_env != nullptr ? path_env : "/usr/local/bin:/usr/bin:/bin";
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t colon = path.find(':', pos);
    std::string dir = path.substr(pos, colon == std::string::npos ? std::string::npos : colon - pos);
    if (dir.empty()) dir = ".";
    if (IsExecutableFile(dir + "/" + word)) return false;
    if (colon == std::string::npos) break;
    pos = colon + 1;
  }
  return true;
}

// In a freshly forked child: undo what the service set for itself (blocked stop signals,
// ignored SIGPIPE) so the program starts with ordinary signal handling.
void ResetSignalsInChild() {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  signal(SIGPIPE, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  signal(SIGINT, SIG_DFL);
}

// In a freshly forked child: closes every descriptor from `first` on, so the child holds
// no socket or file of the service (a listening socket kept by a child would block the
// next start of the service).
void CloseDescriptorsFrom(int first) {
#ifdef SYS_close_range
  if (::syscall(SYS_close_range, static_cast<unsigned>(first), ~0U, 0U) == 0) return;
#endif
  long limit = ::sysconf(_SC_OPEN_MAX);
  if (limit < 0 || limit > 65536) limit = 65536;
  for (int fd = first; fd < limit; ++fd) ::close(fd);
}

void EndGroup(pid_t group) {
  if (group > 0) ::kill(-group, SIGKILL);
}

// How often a read waits before it looks at the cancel flag again: a cancel also ends the
// group, which breaks the pipe at once, unless a process that left the group holds it.
constexpr int64_t kCancelCheckMs = 200;

// The environment of a child: ours, with `added` ("NAME=value") replacing or extending it.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& added) {
  std::vector<std::string> env;
  auto name_of = [](std::string_view entry) { return entry.substr(0, entry.find('=')); };
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    const std::string_view entry(*e);
    bool replaced = false;
    for (const std::string& a : added) replaced = replaced || name_of(a) == name_of(entry);
    if (!replaced) env.emplace_back(entry);
  }
  for (const std::string& a : added)
    if (a.find('\0') == std::string::npos) env.push_back(a);
  return env;
}

// Once the shell has ended, how long output still in the pipe is read before the group is
// ended: a background child that inherited the output would otherwise hold the run open
// until the time-out.
constexpr int64_t kExitGraceMs = 500;

// Reads the child's output until the pipe breaks, the deadline passes, the cap is reached
// or a cancel comes. With `status_fd` (else -1), the shell's exit code is taken from it as
// soon as it comes and stored in `code`; the pipe is then read for kExitGraceMs at most
// and the run counts as completed. The caller ends the group afterwards, whichever way it
// went.
ConsoleProcessResult ReadOutput(int fd, int status_fd, int64_t deadline, const ConsoleProcessLimits& limits,
                                const ConsoleCancelScope& cancel, std::string& output, int& code) {
  char chunk[4096];
  int code_bytes = -1;
  size_t code_got = 0;
  bool exited = false;
  for (;;) {
    int64_t remaining = deadline - MonotonicMs();
    if (remaining <= 0) return exited ? ConsoleProcessResult::kCompleted : ConsoleProcessResult::kTimedOut;
    if (cancel.Cancelled()) return ConsoleProcessResult::kCancelled;
    pollfd pfds[2] = {{fd, POLLIN, 0}, {status_fd, POLLIN, 0}};
    const int64_t wait_ms = limits.cancel != nullptr ? std::min(remaining, kCancelCheckMs) : remaining;
    int ready = ::poll(pfds, 2, static_cast<int>(std::min<int64_t>(wait_ms, INT_MAX)));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return ConsoleProcessResult::kReadFailed;
    }
    if (ready == 0) continue;
    if (pfds[1].revents != 0) {
      ssize_t n = ::read(status_fd, reinterpret_cast<char*>(&code_bytes) + code_got, sizeof code_bytes - code_got);
      if (n < 0 && errno == EINTR) continue;
      if (n > 0) code_got += static_cast<size_t>(n);
      if (n <= 0 || code_got == sizeof code_bytes) status_fd = -1;  // no code comes after this
      if (code_got == sizeof code_bytes) {
        code = code_bytes;
        exited = true;
        deadline = std::min(deadline, MonotonicMs() + kExitGraceMs);
      }
    }
    if (pfds[0].revents == 0) continue;
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n == 0) return cancel.Cancelled() ? ConsoleProcessResult::kCancelled : ConsoleProcessResult::kCompleted;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return ConsoleProcessResult::kReadFailed;
    }
    size_t room = limits.max_output - std::min(limits.max_output, output.size());
    if (static_cast<size_t>(n) > room) {
      output.append(chunk, room);
      if (limits.drain_output) continue;
      return ConsoleProcessResult::kOutputCapped;
    }
    output.append(chunk, static_cast<size_t>(n));
  }
}

// The shell's exit code from the status pipe, waiting for it at most until `deadline`
// (not at all when it has passed) and no longer than a cancel; -1 when it does not come.
int ReadExitCode(int fd, int64_t deadline, const ConsoleCancelScope& cancel) {
  int code = -1;
  size_t got = 0;
  for (;;) {
    const int64_t remaining = std::max<int64_t>(deadline - MonotonicMs(), 0);
    pollfd pfd{fd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(std::min(remaining, kCancelCheckMs)));
    if (ready < 0 && errno != EINTR) return -1;
    if (ready > 0) {
      ssize_t n = ::read(fd, reinterpret_cast<char*>(&code) + got, sizeof code - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return -1;  // the middle ended without a code: the shell never started
      got += static_cast<size_t>(n);
      if (got == sizeof code) return code;
      continue;
    }
    if (remaining == 0 || cancel.Cancelled()) return -1;
  }
}

}  // namespace

ConsoleProcessResult RunConsoleProcess(const std::string& command_line,
                                       const ConsoleProcessLimits& limits, std::string& output) {
  output.clear();
  if (limits.exit_code != nullptr) *limits.exit_code = -1;
  if (command_line.size() > kMaxCommandLine || command_line.find('\0') != std::string::npos)
    return ConsoleProcessResult::kStartFailed;
  if (NamesMissingProgram(command_line)) return ConsoleProcessResult::kStartFailed;
  if (limits.cancel != nullptr && limits.cancel->Cancelled()) return ConsoleProcessResult::kCancelled;

  Fd read_end, write_end, status_read, status_write;
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return ConsoleProcessResult::kStartFailed;
  *read_end.out() = ends[0];
  *write_end.out() = ends[1];
  Fd null_in(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (null_in.get() < 0) return ConsoleProcessResult::kStartFailed;
  const bool wait_exit = limits.exit_code != nullptr;
  if (::pipe2(ends, O_CLOEXEC) != 0) return ConsoleProcessResult::kStartFailed;
  *status_read.out() = ends[0];
  *status_write.out() = ends[1];
  // Built before the fork: the children only call what is safe after a fork.
  std::vector<std::string> env_text;
  std::vector<char*> envp;
  if (!limits.environment.empty()) {
    env_text = ChildEnvironment(limits.environment);
    for (std::string& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);
  }
  char sh[] = "sh", dash_c[] = "-c";
  std::string command_copy = command_line;
  char* argv[] = {sh, dash_c, command_copy.data(), nullptr};

  // A middle process leads a new process group, starts the shell in it, waits for it and
  // writes its exit code to the status pipe. It stays our unreaped child until the group
  // has been ended, so the group id cannot pass to another process while we may still
  // signal it. The group (middle, shell and whatever the shell started) is ended on every
  // way out, a normal end included: a background child does not outlive the run.
  pid_t group = ::fork();
  if (group < 0) return ConsoleProcessResult::kStartFailed;
  if (group == 0) {
    ::setpgid(0, 0);
    pid_t shell = ::fork();
    if (shell == 0) {
      ResetSignalsInChild();
      ::dup2(null_in.get(), 0);
      ::dup2(write_end.get(), 1);
      ::dup2(write_end.get(), 2);
      CloseDescriptorsFrom(3);
      if (envp.empty())
        ::execv("/bin/sh", argv);
      else
        ::execve("/bin/sh", argv, envp.data());
      ::_exit(127);
    }
    if (shell < 0 || ::dup2(status_write.get(), 3) < 0) ::_exit(1);
    CloseDescriptorsFrom(4);
    int status = 0;
    while (::waitpid(shell, &status, 0) < 0 && errno == EINTR) {
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    ssize_t ignored = ::write(3, &code, sizeof code);
    (void)ignored;
    ::_exit(0);
  }
  ::setpgid(group, group);  // the middle sets it too: the group exists before either side goes on
  write_end.Reset();
  null_in.Reset();
  status_write.Reset();
  const int64_t deadline = MonotonicMs() + std::max<int64_t>(limits.timeout_ms, 0);
  ConsoleProcessResult result = ConsoleProcessResult::kCancelled;
  int code = -1;
  {
    // Left before the middle is reaped, so a cancel never signals a reused group id.
    const ConsoleCancelScope cancel(limits.cancel, [group] { EndGroup(group); });
    if (cancel.Entered()) {
      result = ReadOutput(read_end.get(), wait_exit ? status_read.get() : -1, deadline, limits, cancel, output, code);
      if (code >= 0) {
        // The shell's code came while the output was read.
      } else if (wait_exit && result == ConsoleProcessResult::kCompleted) {
        // The output is closed; the shell may still run.
        code = ReadExitCode(status_read.get(), deadline, cancel);
        if (code < 0 && cancel.Cancelled()) result = ConsoleProcessResult::kCancelled;
        if (code < 0 && MonotonicMs() >= deadline) result = ConsoleProcessResult::kTimedOut;
      } else {
        // The shell may have ended while something it started held the output open.
        code = ReadExitCode(status_read.get(), 0, cancel);
      }
    }
    EndGroup(group);
  }
  int status = 0;
  while (::waitpid(group, &status, 0) < 0 && errno == EINTR) {
  }
  if (wait_exit) *limits.exit_code = code;
  // The middle exits non-zero only when it could not start the shell; without exit_code it
  // may also have been ended by us, which is no failure.
  const bool middle_failed = WIFEXITED(status) ? WEXITSTATUS(status) != 0 : wait_exit;
  if (result == ConsoleProcessResult::kCompleted && code < 0 && middle_failed)
    result = ConsoleProcessResult::kStartFailed;
  return result;
}

bool LaunchDetached(const std::string& command_line, const std::string& folder) {
  // Split at blanks outside double quotes, the way the Windows command line is read.
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, in_word = false;
  for (char c : command_line) {
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  if (words.empty() || command_line.find('\0') != std::string::npos) return false;
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  // The grandchild reports a failed exec through a close-on-exec pipe: end of file
  // without a byte means the program started.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return false;
  Fd report_read(report[0]), report_write(report[1]);
  const char* dir = folder.c_str();
  pid_t middle = ::fork();
  if (middle < 0) return false;
  if (middle == 0) {
    pid_t child = ::fork();
    if (child == 0) {
      ::setsid();
      ResetSignalsInChild();
      int null_fd = ::open("/dev/null", O_RDONLY);
      if (null_fd >= 0) ::dup2(null_fd, 0);
      if (report_write.get() != 3 && ::dup3(report_write.get(), 3, O_CLOEXEC) < 0) ::_exit(127);
      CloseDescriptorsFrom(4);
      *report_write.out() = 3;
      if (*dir != '\0' && ::chdir(dir) != 0) {
        char failed = 1;
        ssize_t ignored = ::write(report_write.get(), &failed, 1);
        (void)ignored;
        ::_exit(127);
      }
      ::execv(argv[0], argv.data());
      char failed = 1;
      ssize_t ignored = ::write(report_write.get(), &failed, 1);
      (void)ignored;
      ::_exit(127);
    }
    ::_exit(child < 0 ? 1 : 0);
  }
  report_write.Reset();
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
  char byte = 0;
  ssize_t n;
  while ((n = ::read(report_read.get(), &byte, 1)) < 0 && errno == EINTR) {
  }
  return n == 0;
}

bool SetCurrentFolder(const std::string& folder) { return ::chdir(folder.c_str()) == 0; }

}  // namespace kv::platform

namespace kv::platform {
const char* ExecutableSuffix() { return ""; }
}  // namespace kv::platform
