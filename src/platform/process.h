#pragma once
// Child processes of the collection: the hidden console command whose output becomes a
// source text, and the detached restart program.
//
// RunConsoleProcess runs one command line with standard output and standard error joined
// into one pipe and no readable standard input, in the current folder of this process,
// and captures what it writes byte for byte until the pipe breaks (the child and every
// process that inherited the pipe have closed it). A child that keeps its output open past
// `timeout_ms` (or leaves a process behind that does), or writes more than `max_output`
// bytes, is ended. Whichever way the run ends, a normal end included, every process the
// command started that is still there is ended with it: a job object on Windows, the
// process group on Linux (a process that left the group with setsid is out of reach).
//
// With `exit_code` set, the run also waits (within `timeout_ms`) for the child itself to
// end and stores its exit code there; also after a time-out, cap or cancel when the child
// itself had ended by then (else -1). Once the child itself (the shell on Linux) has ended,
// a process it left holding the output is not waited for: the pipe is read for half a
// second at most, then the rest is ended and the run is kCompleted. `environment` adds
// NAME=value entries to the environment the child inherits (replacing ones of the same
// name). With `drain_output`, output past `max_output` is read and dropped instead of
// ending the child.
//
// Any thread; runs on several threads at once do not hand their pipes to each other's
// children (Windows: handles are made inheritable under one lock; Linux: every process
// between fork and exec closes what it does not own).
//
// Windows: CreateProcess without application name, so the first token of the command
// line is the program. Linux: "/bin/sh -c <command line>"; a first word that names no
// existing program is refused before anything starts, as CreateProcess would.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace kv::platform {

// Lets another thread end the console process a collection is waiting for, at once (the
// service stop). Cancel may be called from any thread: it ends the running command with
// every process it started, and from then on RunConsoleProcess with this token returns
// kCancelled without starting anything. Enter and Leave are for the process layer: while
// a child runs, `end` is what ends it; Enter refuses once cancelled.
class ConsoleProcessCancel {
 public:
  void Cancel() {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
    if (end_) end_();
  }
  bool Cancelled() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return cancelled_;
  }
  bool Enter(std::function<void()> end) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (cancelled_) return false;
    end_ = std::move(end);
    return true;
  }
  // After Leave returns, `end` is not running and will not run.
  void Leave() {
    std::lock_guard<std::mutex> lock(mutex_);
    end_ = nullptr;
  }

 private:
  mutable std::mutex mutex_;
  bool cancelled_ = false;
  std::function<void()> end_;
};

// For the process layer: while it lives, `end` ends the running child on a cancel. A
// scope that could not enter (already cancelled) must end the child itself.
class ConsoleCancelScope {
 public:
  ConsoleCancelScope(ConsoleProcessCancel* cancel, std::function<void()> end) : cancel_(cancel) {
    entered_ = cancel_ == nullptr || cancel_->Enter(std::move(end));
  }
  ~ConsoleCancelScope() {
    if (cancel_ != nullptr && entered_) cancel_->Leave();
  }
  ConsoleCancelScope(const ConsoleCancelScope&) = delete;
  ConsoleCancelScope& operator=(const ConsoleCancelScope&) = delete;
  bool Entered() const { return entered_; }
  bool Cancelled() const { return cancel_ != nullptr && cancel_->Cancelled(); }

 private:
  ConsoleProcessCancel* cancel_;
  bool entered_ = false;
};

// The command line travels in a 260-byte zero-terminated buffer on Windows; longer ones
// are refused on every platform so both builds accept the same configurations.
constexpr size_t kMaxCommandLine = 259;

struct ConsoleProcessLimits {
  int64_t timeout_ms = 300 * 1000;
  size_t max_output = size_t{64} << 20;
  ConsoleProcessCancel* cancel = nullptr;  // optional; must outlive the run
  std::vector<std::string> environment;     // "NAME=value", added for the child
  int* exit_code = nullptr;                 // optional: the child's exit code, -1 when unknown
  bool drain_output = false;                // past max_output: drop output, keep the child
};

enum class ConsoleProcessResult {
  kCompleted,      // output read to its end, or with exit_code: the child ended (output read
                   // to its end or for the short grace after)
  kStartFailed,    // pipe or process could not be created; output empty
  kReadFailed,     // the pipe failed while reading; output holds what came before
  kTimedOut,       // ended after timeout_ms; output holds what came before
  kOutputCapped,   // ended after max_output bytes; output holds exactly max_output bytes
  kCancelled,      // ended (or never started) by ConsoleProcessCancel; output holds what came before
};

// Never throws. `output` is replaced.
ConsoleProcessResult RunConsoleProcess(const std::string& command_line,
                                       const ConsoleProcessLimits& limits, std::string& output);

// Starts a program detached from this process, in a new console (Windows) or a new
// session (Linux), with `folder` as its current folder and the environment inherited.
// `command_line` is "\"program\" \"arg\" ..."; on Linux it is split into words at blanks
// outside double quotes and run without a shell. Returns true when the program started;
// nothing is waited for and no handle is kept.
bool LaunchDetached(const std::string& command_line, const std::string& folder);

// Makes `folder` the current folder of the process. Returns false on failure.
bool SetCurrentFolder(const std::string& folder);

}  // namespace kv::platform

namespace kv::platform {

// ".exe" on Windows, "" on Linux: the suffix of program files next to this one.
const char* ExecutableSuffix();

}  // namespace kv::platform
