#include "http/request_path.h"

#include "base/text_case.h"

namespace kv {
namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  std::size_t at = 0;
  while ((at = text.find(from, at)) != std::string::npos) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool PercentDecode(const std::string& text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%') {
      const int high = i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
      const int low = high >= 0 ? HexDigit(text[i + 2]) : -1;
      if (low < 0) return false;
      c = static_cast<char>(high * 16 + low);
      i += 2;
    }
    if (c == '\0') return false;
    out += c;
  }
  return true;
}

bool IsDosDeviceName(const std::string& part) {
  // The device is named by the text before the first dot, trailing blanks ignored.
  std::string base = UpperCaseAscii(part.substr(0, part.find('.')));
  while (!base.empty() && (base.back() == ' ' || base.back() == '.')) base.pop_back();
  if (base == "CON" || base == "NUL" || base == "AUX" || base == "PRN" || base == "CONIN$" ||
      base == "CONOUT$")
    return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

}  // namespace

std::string TrimBlanks(const std::string& text) {
  std::size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  return text.substr(b, e - b);
}

std::string StripQuery(const std::string& target) { return target.substr(0, target.find('?')); }

bool ParseQuery(const std::string& target, TQueryPairs& pairs) {
  pairs.clear();
  const std::size_t mark = target.find('?');
  if (mark == std::string::npos) return true;
  std::size_t start = mark + 1;
  while (start <= target.size()) {
    std::size_t end = target.find('&', start);
    if (end == std::string::npos) end = target.size();
    const std::string part = target.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    const std::size_t equals = part.find('=');
    std::string key, value;
    if (!PercentDecode(part.substr(0, equals), key) ||
        !PercentDecode(equals == std::string::npos ? std::string() : part.substr(equals + 1), value))
      return false;
    pairs.emplace_back(std::move(key), std::move(value));
  }
  return true;
}

std::string ExtractRequestDir(const std::string& target) {
  const std::string s = StripQuery(target);
  std::size_t slash = s.rfind('/');
  std::string dir = slash != std::string::npos && slash >= 1 ? s.substr(0, slash + 1) : "/";
  ReplaceAll(dir, "/./", "/");
  for (std::size_t at; (at = dir.find("/../")) != std::string::npos;) {
    std::size_t before = at == 0 ? std::string::npos : dir.rfind('/', at - 1);
    if (before == std::string::npos) return {};
    dir.erase(before, at + 3 - before);
  }
  return dir;
}

std::string ExtractRequestName(const std::string& target) {
  const std::string s = StripQuery(target);
  std::size_t slash = s.rfind('/');
  return slash == std::string::npos ? s : s.substr(slash + 1);
}

std::string AddTrailingDelimiter(const std::string& path, char separator) {
  if (path.empty()) return path;
  const char last = path.back();
  if (last == separator) return path;
  if (separator == '\\') {
    if (last == ':') return path;
    const char letter = UpperAscii(path[0]);
    if (path.size() == 1 && letter >= 'A' && letter <= 'Z') return path + ":\\";
  }
  return path + separator;
}

bool IsServablePathPart(const std::string& part, PathRules rules) {
  if (part.find('\\') != std::string::npos || part.find("..") != std::string::npos ||
      part.find(':') != std::string::npos || part.find('\0') != std::string::npos)
    return false;
  return rules != PathRules::kWindows || !IsDosDeviceName(part);
}

bool IsServablePath(const std::string& dir, const std::string& name, PathRules rules) {
  // A target without its leading "/" ("x/y") would be appended straight to the folder's
  // name and name a sibling folder ("/opt/kv" + "x/y"), so it is never servable.
  if (dir.empty() || dir[0] != '/' || !IsServablePathPart(name, rules)) return false;
  std::size_t start = 0;
  while (start < dir.size()) {
    std::size_t end = dir.find('/', start);
    if (end == std::string::npos) end = dir.size();
    if (!IsServablePathPart(dir.substr(start, end - start), rules)) return false;
    start = end + 1;
  }
  return true;
}

int ControllerNumber(const std::string& text) {
  if (text.size() < 2 || text[0] != 'c') return -1;
  for (std::size_t i = 1; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return -1;
  if (text[1] == '0' || text.size() > 10) return 0;
  return std::stoi(text.substr(1));
}

int ControllerOfFolder(const std::string& dir) {
  if (dir.size() < 3 || dir.front() != '/' || dir.back() != '/') return -1;
  const std::string folder = dir.substr(1, dir.size() - 2);
  return folder.find('/') == std::string::npos ? ControllerNumber(folder) : -1;
}

bool IsLoopbackAddress(const std::string& address) {
  std::string a = LowerCaseAscii(address);
  if (a == "::1") return true;
  if (a.compare(0, 7, "::ffff:") == 0) a = a.substr(7);
  if (a.compare(0, 4, "127.") != 0) return false;
  // Dotted digits only, so a crafted text cannot pass as an address.
  int dots = 0;
  for (char c : a) {
    if (c == '.') ++dots;
    else if (c < '0' || c > '9') return false;
  }
  return dots == 3;
}

}  // namespace kv
