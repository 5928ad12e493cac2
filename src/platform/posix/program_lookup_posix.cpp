#include "platform/program_lookup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace kv::platform {
namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Words the shell runs itself: no program file stands behind them.
bool IsShellWord(std::string_view word) {
  static constexpr std::string_view kWords[] = {
      "if", "then", "else", "elif", "fi", "case", "esac", "for", "while", "until", "do", "done",
      "in", "!", "{", "}", "[", "[[", ":", ".", "alias", "break", "cd", "command", "continue",
      "echo", "eval", "exec", "exit", "export", "false", "getopts", "hash", "kill", "printf",
      "pwd", "read", "readonly", "return", "set", "shift", "test", "times", "trap", "true",
      "type", "ulimit", "umask", "unalias", "unset", "wait", "local"};
  for (std::string_view w : kWords)
    if (word == w) return true;
  return false;
}

// The first word of the line, unquoted; false when the shell would read it otherwise
// (an unclosed quote, a quote joined to more text).
bool FirstWord(const std::string& line, std::string& word) {
  const size_t begin = line.find_first_not_of(" \t");
  if (begin == std::string::npos) return false;
  if (line[begin] != '"') {
    const size_t end = line.find_first_of(" \t", begin);
    word = line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    return true;
  }
  const size_t end = line.find('"', begin + 1);
  if (end == std::string::npos) return false;
  word = line.substr(begin + 1, end - begin - 1);
  return end + 1 == line.size() || line[end + 1] == ' ' || line[end + 1] == '\t';
}

std::string InFolder(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

bool FindCommandProgram(const std::string& command_line, std::string& program, const std::string& folder) {
  program.clear();
  const bool plain = FirstWord(command_line, program);
  if (!plain || program.empty() || IsShellWord(program)) return true;
  if (program.find_first_of("$`'\"\\(){}<>|&;*?~=[]#") != std::string::npos) return true;
  if (program.find('/') != std::string::npos)
    return IsExecutableFile(program.front() == '/' ? program : InFolder(folder, program));
  const char* path_env = std::getenv("PATH");
  const std::string path = path_env != nullptr ? path_env : "/usr/local/bin:/usr/bin:/bin";
  for (size_t pos = 0; pos <= path.size();) {
    const size_t colon = std::min(path.find(':', pos), path.size());
    const std::string dir = path.substr(pos, colon - pos);  // empty: the current folder
    if (IsExecutableFile(InFolder(dir.empty() ? (folder.empty() ? "." : folder) : dir, program))) return true;
    pos = colon + 1;
  }
  return false;
}

}  // namespace kv::platform
