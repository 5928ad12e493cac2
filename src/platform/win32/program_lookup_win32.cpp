#include "platform/program_lookup.h"

#include <windows.h>

namespace kv::platform {
namespace {

bool IsFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string InFolder(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '\\' || folder.back() == '/') return folder + name;
  return folder + "\\" + name;
}

// As CreateProcess looks for a program named without an application name.
bool ProgramExists(std::string name, const std::string& folder) {
  if (name.empty()) return false;
  const size_t base = name.find_last_of("\\/:");
  if (name.find('.', base == std::string::npos ? 0 : base + 1) == std::string::npos) name += ".exe";
  if (base != std::string::npos) {
    const bool absolute = name[0] == '\\' || name[0] == '/' || (name.size() > 1 && name[1] == ':');
    return IsFile(absolute ? name : InFolder(folder, name));
  }
  if (!folder.empty() && IsFile(InFolder(folder, name))) return true;
  char found[MAX_PATH];
  const DWORD size = ::SearchPathA(nullptr, name.c_str(), nullptr, MAX_PATH, found, nullptr);
  return size > 0 && size < MAX_PATH && IsFile(found);
}

}  // namespace

bool FindCommandProgram(const std::string& command_line, std::string& program, const std::string& folder) {
  program.clear();
  const size_t begin = command_line.find_first_not_of(" \t");
  if (begin == std::string::npos) return false;
  if (command_line[begin] == '"') {
    const size_t end = command_line.find('"', begin + 1);
    program = command_line.substr(begin + 1, end == std::string::npos ? std::string::npos : end - begin - 1);
    return ProgramExists(program, folder);
  }
  // Unquoted, each blank may end the name: the first run that names a program wins.
  for (size_t end = command_line.find_first_of(" \t", begin);; end = command_line.find_first_of(" \t", end + 1)) {
    const std::string candidate = command_line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    if (ProgramExists(candidate, folder)) {
      program = candidate;
      return true;
    }
    if (end == std::string::npos) break;
  }
  const size_t end = command_line.find_first_of(" \t", begin);
  program = command_line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
  return false;
}

}  // namespace kv::platform
