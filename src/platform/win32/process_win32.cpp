#include "platform/process.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

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

}  // namespace

ConsoleProcessResult RunConsoleProcess(const std::string& command_line,
                                       const ConsoleProcessLimits& limits, std::string& output) {
  output.clear();
  if (command_line.size() > kMaxCommandLine || command_line.find('\0') != std::string::npos)
    return ConsoleProcessResult::kStartFailed;
  if (limits.cancel != nullptr && limits.cancel->Cancelled()) return ConsoleProcessResult::kCancelled;

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
                        nullptr, nullptr, &startup, &info))
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

  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(std::max<int64_t>(limits.timeout_ms, 0));
  // Reads take what the pipe holds, up to 64 KiB: the captured bytes are the same as
  // with small reads, and each read is a round trip to the system.
  std::string chunk(64 * 1024, '\0');
  for (;;) {
    if (cancel.Cancelled()) {
      EndTree(job.get(), process.get());
      return ConsoleProcessResult::kCancelled;
    }
    DWORD available = 0;
    if (!::PeekNamedPipe(read_end.get(), nullptr, 0, nullptr, &available, nullptr)) {
      if (::GetLastError() == ERROR_BROKEN_PIPE)
        return cancel.Cancelled() ? ConsoleProcessResult::kCancelled : ConsoleProcessResult::kCompleted;
      available = 1;  // let ReadFile report the error itself
    }
    if (available == 0) {
      if (::GetTickCount64() >= deadline) {
        EndTree(job.get(), process.get());
        return ConsoleProcessResult::kTimedOut;
      }
      ::Sleep(2);
      continue;
    }
    DWORD n = 0;
    if (!::ReadFile(read_end.get(), chunk.data(), std::min<DWORD>(static_cast<DWORD>(chunk.size()), available), &n, nullptr)) {
      if (::GetLastError() == ERROR_BROKEN_PIPE) return ConsoleProcessResult::kCompleted;
      // A failed read leaves the child to end on its own for a second, then ends it.
      if (::WaitForSingleObject(process.get(), 1000) != WAIT_OBJECT_0) EndTree(job.get(), process.get());
      return ConsoleProcessResult::kReadFailed;
    }
    if (n == 0) return ConsoleProcessResult::kCompleted;
    size_t room = limits.max_output - std::min(limits.max_output, output.size());
    if (n > room) {
      output.append(chunk.data(), room);
      EndTree(job.get(), process.get());
      return ConsoleProcessResult::kOutputCapped;
    }
    output.append(chunk.data(), n);
    if (::GetTickCount64() >= deadline) {
      EndTree(job.get(), process.get());
      return ConsoleProcessResult::kTimedOut;
    }
  }
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
