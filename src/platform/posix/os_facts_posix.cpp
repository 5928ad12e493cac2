#include "platform/os_facts.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <string_view>

#include "platform/files.h"

namespace kv::platform {
namespace {

#define KV_STR2(x) #x
#define KV_STR(x) KV_STR2(x)

// PRETTY_NAME="Debian GNU/Linux 12 (bookworm)"
std::string PrettyName(const std::string& os_release) {
  size_t pos = 0;
  while (pos < os_release.size()) {
    size_t end = os_release.find('\n', pos);
    if (end == std::string::npos) end = os_release.size();
    std::string_view line(os_release.data() + pos, end - pos);
    if (line.substr(0, 12) == "PRETTY_NAME=") {
      std::string value(line.substr(12));
      while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
      return value.size() > 256 ? value.substr(0, 256) : value;
    }
    pos = end + 1;
  }
  return std::string();
}

}  // namespace

OsFacts GatherOsFacts() {
  OsFacts facts;
  std::string text;
  if (ReadWholeFile("/etc/os-release", text) == FileReadResult::kOk ||
      ReadWholeFile("/usr/lib/os-release", text) == FileReadResult::kOk)
    facts.pretty_name = PrettyName(text.substr(0, 64 * 1024));
  utsname names{};
  if (::uname(&names) == 0) facts.kernel_release = names.release;
  return facts;
}

std::string ComputerName() {
  char name[256] = {};
  // A name longer than the buffer may come back cut and without its terminator.
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "unknown";
  return name;
}

std::string ProgramVersionText() {
  return KV_STR(KV_VERSION_MAJOR) "." KV_STR(KV_VERSION_MINOR) "." KV_STR(KV_VERSION_PATCH) "." KV_STR(KV_VERSION_BUILD);
}

}  // namespace kv::platform
