#include "platform/process.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <string_view>
#include <vector>

namespace kv::platform {
namespace {

class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE h) : h_(h) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() { Reset(); }
  HANDLE get() const { return h_; }
  HANDLE* out() { return &h_; }
  bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  void Reset() {
    if (valid()) ::CloseHandle(h_);
    h_ = nullptr;
  }

 private:
  HANDLE h_ = nullptr;
};

// Ends the child and everything it started. Without a job (assigning can fail when the
// service itself runs in a job that forbids nesting) only the child itself can be ended.
void EndTree(HANDLE job, HANDLE process) {
  if (job != nullptr && ::TerminateJobObject(job, 0)) return;
  ::TerminateProcess(process, 0);
}

// Held from the creation of the inheritable pipe ends until they are closed here, so a run
// on another thread never hands them to its own child (which would keep our pipe open).
std::mutex& InheritLock() {
  static std::mutex lock;
  return lock;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// An environment block for CreateProcess: ours with `added` ("NAME=value") replacing or
// extending it, sorted by name without regard to case, each entry ended by a zero, and a
// zero after the last.
std::string EnvironmentBlock(const std::vector<std::string>& added) {
  std::vector<std::string> entries;
  auto name_of = [](std::string_view e) { return e.substr(0, e.find('=', 1)); };
  if (char* block = ::GetEnvironmentStringsA()) {
    for (const char* p = block; *p != '\0'; p += std::strlen(p) + 1) {
      const std::string_view entry(p);
      bool replaced = false;
      for (const std::string& a : added) replaced = replaced || SameName(name_of(a), name_of(entry));
      if (!replaced) entries.emplace_back(entry);
    }
    ::FreeEnvironmentStringsA(block);
  }
  for (const std::string& a : added)
    if (a.find('\0') == std::string::npos && a.find('=', 1) != std::string::npos) entries.push_back(a);
  std::stable_sort(entries.begin(), entries.end(), [&](const std::string& a, const std::string& b) {
    const std::string_view x = name_of(a), y = name_of(b);
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(), [](char c, char d) {
      return std::toupper(static_cast<unsigned char>(c)) < std::toupper(static_cast<unsigned char>(d));
    });
  });
  std::string out;
  for (const std::string& e : entries) {
    out += e;
    out += '\0';
  }
  out += '\0';
  return out;
}

// Once the child has ended, how long output still in the pipe is read before the job is
// ended: a background process that inherited the output would otherwise hold the run open
// until the time-out.
constexpr ULONGLONG kExitGraceMs = 500;

// Reads the child's output until the pipe breaks, the deadline passes, the cap is reached
// or a cancel comes. With exit_code, a broken pipe is followed by a wait for the child
// itself until the deadline, and once the child has ended the pipe is read for
// kExitGraceMs at most and the run counts as completed. The caller ends the tree
// afterwards, whichever way it went.
ConsoleProcessResult ReadOutput(HANDLE read_end, HANDLE process, ULONGLONG deadline, const ConsoleProcessLimits& limits,
                                const ConsoleCancelScope& cancel, std::string& output) {
  auto finished = [&]() {
    if (cancel.Cancelled()) return ConsoleProcessResult::kCancelled;
    if (limits.exit_code == nullptr) return ConsoleProcessResult::kCompleted;
    const ULONGLONG now = ::GetTickCount64();
    const DWORD wait = now >= deadline ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 0x7FFFFFFF));
    return ::WaitForSingleObject(process, wait) == WAIT_OBJECT_0 ? ConsoleProcessResult::kCompleted
                                                                 : ConsoleProcessResult::kTimedOut;
  };
  bool exited = false;
  auto out_of_time = [&]() {
    return exited ? ConsoleProcessResult::kCompleted : ConsoleProcessResult::kTimedOut;
  };
  // Reads take what the pipe holds, up to 64 KiB: the captured bytes are the same as
  // with small reads, and each read is a round trip to the system.
  std::string chunk(64 * 1024, '\0');
  for (;;) {
    if (cancel.Cancelled()) return ConsoleProcessResult::kCancelled;
    if (limits.exit_code != nullptr && !exited && ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
      exited = true;
      deadline = std::min(deadline, ::GetTickCount64() + kExitGraceMs);
    }
    DWORD available = 0;
    if (!::PeekNamedPipe(read_end, nullptr, 0, nullptr, &available, nullptr)) {
      if (::GetLastError() == ERROR_BROKEN_PIPE) return finished();
      available = 1;  // let ReadFile report the error itself
    }
    if (available == 0) {
      if (::GetTickCount64() >= deadline) return out_of_time();
      ::Sleep(2);
      continue;
    }
    DWORD n = 0;
    if (!::ReadFile(read_end, chunk.data(), std::min<DWORD>(static_cast<DWORD>(chunk.size()), available), &n, nullptr)) {
      if (::GetLastError() == ERROR_BROKEN_PIPE) return finished();
      // A failed read leaves the child a second to end on its own.
      ::WaitForSingleObject(process, 1000);
      return ConsoleProcessResult::kReadFailed;
    }
    if (n == 0) return finished();
    size_t room = limits.max_output - std::min(limits.max_output, output.size());
    if (n > room) {
      output.append(chunk.data(), room);
      if (!limits.drain_output) return ConsoleProcessResult::kOutputCapped;
      if (::GetTickCount64() < deadline) continue;
      return out_of_time();
    }
    output.append(chunk.data(), n);
    if (::GetTickCount64() >= deadline) return out_of_time();
  }
}

}  // namespace

ConsoleProcessResult RunConsoleProcess(const std::string& command_line,
                                       const ConsoleProcessLimits& limits, std::string& output) {
  output.clear();
  if (limits.exit_code != nullptr) *limits.exit_code = -1;
  if (command_line.size() > kMaxCommandLine || command_line.find('\0') != std::string::npos)
    return ConsoleProcessResult::kStartFailed;
  if (limits.cancel != nullptr && limits.cancel->Cancelled()) return ConsoleProcessResult::kCancelled;
  std::string environment;
  if (!limits.environment.empty()) environment = EnvironmentBlock(limits.environment);

  std::unique_lock<std::mutex> inherit_lock(InheritLock());
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  ScopedHandle read_end, write_end, error_dup, input_dup;
  if (!::CreatePipe(read_end.out(), write_end.out(), &inherit, 0)) return ConsoleProcessResult::kStartFailed;
  // Only the write end needs to reach the child.
  ::SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);
  HANDLE self = ::GetCurrentProcess();
  if (!::DuplicateHandle(self, write_end.get(), self, error_dup.out(), 0, TRUE, DUPLICATE_SAME_ACCESS) ||
      !::DuplicateHandle(self, write_end.get(), self, input_dup.out(), 0, TRUE, DUPLICATE_SAME_ACCESS))
    return ConsoleProcessResult::kStartFailed;

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  startup.hStdInput = input_dup.get();
  startup.hStdOutput = write_end.get();
  startup.hStdError = error_dup.get();

  char buffer[kMaxCommandLine + 1];
  std::memcpy(buffer, command_line.c_str(), command_line.size() + 1);

  ScopedHandle job(::CreateJobObjectA(nullptr, nullptr));
  PROCESS_INFORMATION info{};
  if (!::CreateProcessA(nullptr, buffer, nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED,
                        environment.empty() ? nullptr : environment.data(), nullptr, &startup, &info))
    return ConsoleProcessResult::kStartFailed;
  ScopedHandle process(info.hProcess), thread(info.hThread);
  if (job.valid() && !::AssignProcessToJobObject(job.get(), process.get())) job.Reset();
  // Declared after the handles it uses, so it is left before they are closed.
  const ConsoleCancelScope cancel(limits.cancel,
                                  [tree = job.get(), child = process.get()] { EndTree(tree, child); });
  if (!cancel.Entered()) {
    EndTree(job.get(), process.get());
    return ConsoleProcessResult::kCancelled;
  }
  ::ResumeThread(thread.get());
  thread.Reset();
  // From here only the child holds writable ends: the pipe breaks when it (and whatever
  // inherited from it) is gone.
  write_end.Reset();
  error_dup.Reset();
  input_dup.Reset();
  inherit_lock.unlock();
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(std::max<int64_t>(limits.timeout_ms, 0));
  const ConsoleProcessResult result = ReadOutput(read_end.get(), process.get(), deadline, limits, cancel, output);
  // The child's code when it has ended; with exit_code it was waited for after the pipe broke
  // or seen ending while the pipe was open.
  if (limits.exit_code != nullptr && ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
    DWORD code = 0;
    if (::GetExitCodeProcess(process.get(), &code)) *limits.exit_code = static_cast<int>(code);
  }
  // Whichever way the run ended, nothing it started outlives it, a background child included.
  EndTree(job.get(), process.get());
  return result;
}

bool LaunchDetached(const std::string& command_line, const std::string& folder) {
  if (command_line.empty() || command_line.find('\0') != std::string::npos) return false;
  std::string buffer = command_line;  // CreateProcess may write into the command line
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS,
                        nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &info))
    return false;
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return true;
}

bool SetCurrentFolder(const std::string& folder) { return ::SetCurrentDirectoryA(folder.c_str()) != FALSE; }

}  // namespace kv::platform

namespace kv::platform {
const char* ExecutableSuffix() { return ".exe"; }
}  // namespace kv::platform
