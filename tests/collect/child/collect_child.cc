// A small console program the collection tests run as a source command, so the same
// tests work on Linux and under Wine without relying on a shell's tools.
//
//   kv_collect_child out TEXT     writes TEXT to standard output
//   kv_collect_child err TEXT     writes TEXT to standard error
//   kv_collect_child bytes        writes every byte value except LF to standard output
//   kv_collect_child flood MIB    writes MIB mebibytes of 'x' to standard output
//   kv_collect_child silent       writes nothing and exits
//   kv_collect_child beat FILE    appends a byte to FILE every 50 ms, for ever
//   kv_collect_child env NAME...  writes "NAME=value" LF for each NAME, and for "@NAME" the
//                                 contents of the file $NAME names; exits with code 3
//   kv_collect_child tree FILE    starts "kv_collect_child beat FILE.child" (which inherits the
//                                 output pipe) and then beats FILE itself, for ever
//   kv_collect_child spawn FILE [keep]
//                                 starts "kv_collect_child beat FILE" in the background (handing
//                                 it the output only with "keep"), waits for its first beat and
//                                 exits
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/process.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

[[noreturn]] void Beat(const std::string& file) {
  for (;;) {
    if (FILE* f = std::fopen(file.c_str(), "ab")) {
      std::fputc('.', f);
      std::fclose(f);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

// Starts `self beat file` without waiting for it; it holds our output only with `keep`.
bool StartBeat(const std::string& self, const std::string& file, bool keep) {
#ifdef _WIN32
  std::string line = "\"" + self + "\" beat \"" + file + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  if (keep) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  }
  PROCESS_INFORMATION info{};
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, keep ? TRUE : FALSE, keep ? 0 : DETACHED_PROCESS,
                        nullptr, nullptr, &startup, &info))
    return false;
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return true;
#else
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (!keep) {
      const int null_fd = ::open("/dev/null", O_WRONLY);
      ::dup2(null_fd, 1);
      ::dup2(null_fd, 2);
    }
    ::execl(self.c_str(), self.c_str(), "beat", file.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid > 0;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
#ifdef _WIN32
  // Standard output in binary mode, as on Linux: the tests compare its bytes, and text mode
  // would turn every LF written into CR LF.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  const std::string mode = argv[1];
  const std::string arg = argc > 2 ? argv[2] : "";
  if (mode == "out") {
    std::fwrite(arg.data(), 1, arg.size(), stdout);
  } else if (mode == "err") {
    std::fwrite(arg.data(), 1, arg.size(), stderr);
  } else if (mode == "bytes") {
    for (int c = 0; c < 256; ++c)
      if (c != '\n') std::fputc(c, stdout);
  } else if (mode == "flood") {
    static char block[65536];
    std::memset(block, 'x', sizeof block);
    const long blocks = std::atol(arg.c_str()) * 16;
    for (long i = 0; i < blocks; ++i)
      if (std::fwrite(block, 1, sizeof block, stdout) != sizeof block) return 1;
  } else if (mode == "env") {
    for (int i = 2; i < argc; ++i) {
      const bool file = argv[i][0] == '@';
      const char* value = std::getenv(argv[i] + (file ? 1 : 0));
      if (!file) {
        std::printf("%s=%s\n", argv[i], value != nullptr ? value : "(unset)");
      } else if (FILE* f = value != nullptr ? std::fopen(value, "rb") : nullptr) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) std::fwrite(buffer, 1, n, stdout);
        std::fclose(f);
      }
    }
    std::fflush(stdout);
    return 3;
  } else if (mode == "silent") {
  } else if (mode == "beat") {
    Beat(arg);
  } else if (mode == "tree") {
    std::string self = argv[0];
    std::thread([self, arg] {
      kv::platform::ConsoleProcessLimits limits;
      limits.timeout_ms = 3600 * 1000;
      std::string ignored;
      kv::platform::RunConsoleProcess("\"" + self + "\" beat \"" + arg + ".child\"", limits, ignored);
    }).detach();
    Beat(arg);
  } else if (mode == "spawn") {
    if (!StartBeat(argv[0], arg, argc > 3 && std::string(argv[3]) == "keep")) return 1;
    for (int i = 0; i < 200; ++i) {
      if (FILE* f = std::fopen(arg.c_str(), "rb")) {
        std::fclose(f);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  } else {
    return 2;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  return 0;
}
