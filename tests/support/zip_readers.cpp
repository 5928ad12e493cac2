#include "support/zip_readers.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace kv::ziptest {
namespace {

namespace fs = std::filesystem;

const char kPythonCheck[] = R"(import sys, zipfile, warnings
warnings.simplefilter('error')
with zipfile.ZipFile(sys.argv[1]) as z:
    bad = z.testzip()
    if bad is not None:
        sys.exit('testzip reports ' + bad)
    with open(sys.argv[2], 'wb') as out:
        out.write(b'%d\n' % len(z.comment))
        out.write(z.comment)
        for info in z.infolist():
            raw = info.orig_filename.encode('cp437')
            if len(sys.argv) > 3:
                out.write(b'%s %d\n' % (raw, info.file_size))
                continue
            data = z.read(info)
            out.write(b'%d %d\n' % (len(raw), len(data)))
            out.write(raw)
            out.write(data)
)";

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

int Run(const std::string& command) { return std::system(command.c_str()); }

bool Contains(const std::string& text, const char* needle) { return text.find(needle) != std::string::npos; }

// Compares Python's dump (comment, then per member name and content) with the expectation.
std::string CompareDump(const std::string& dump, const std::vector<ExpectedMember>& members,
                        const std::string& comment) {
  std::istringstream in(dump);
  size_t comment_len = 0;
  in >> comment_len;
  in.get();
  std::string got_comment(comment_len, '\0');
  in.read(got_comment.data(), static_cast<std::streamsize>(comment_len));
  if (got_comment != comment) return "python: comment differs\n";
  for (size_t i = 0; i < members.size(); ++i) {
    size_t name_len = 0, data_len = 0;
    if (!(in >> name_len >> data_len)) return "python: fewer members than written\n";
    in.get();
    std::string name(name_len, '\0'), data(data_len, '\0');
    in.read(name.data(), static_cast<std::streamsize>(name_len));
    in.read(data.data(), static_cast<std::streamsize>(data_len));
    if (name != members[i].name) return "python: name of member " + std::to_string(i) + " differs\n";
    if (data != members[i].content) return "python: content of member " + std::to_string(i) + " differs\n";
  }
  if (in.peek() != std::char_traits<char>::eof()) return "python: more members than written\n";
  return "";
}


// Runs the readers; `python_check` judges Python's dump.
template <typename PythonCheck>
// `zip` is the archive itself, or empty with `zip_file` naming a file that holds it.
ReaderVerdict RunReaders(const std::string& zip, const std::string& zip_file, size_t member_count,
                         bool python_sizes_only, PythonCheck python_check) {
  ReaderVerdict verdict;
  if (Run("test -d /usr/bin >/dev/null 2>&1") != 0) return verdict;
  verdict.available = true;

  std::random_device rd;
  const fs::path dir = fs::temp_directory_path() / ("kv-zip-" + std::to_string(rd()) + std::to_string(rd()));
  fs::create_directories(dir);
  const std::string d = dir.string();
  const std::string file = zip_file.empty() ? d + "/a.zip" : zip_file;
  if (zip_file.empty()) WriteAll(file, zip);
  WriteAll(dir / "check.py", kPythonCheck);
  std::string& f = verdict.failures;

  // unzip warns about every archive without members, whoever wrote it; that one warning
  // (exit code 1) is the only thing accepted from it.
  const int unzip = Run("unzip -t -q " + file + " >" + d + "/unzip.txt 2>&1");
  const std::string unzip_out = ReadAll(dir / "unzip.txt");
  const bool empty_warning = member_count == 0 && unzip == 256 &&
                             unzip_out == "warning [" + file + "]:  zipfile is empty\n";
  if (!empty_warning && (unzip != 0 || Contains(unzip_out, "arning")))
    f += "unzip -t: " + unzip_out + "\n";

  const int seven = Run("7z t " + file + " >" + d + "/7z.txt 2>&1");
  const std::string seven_out = ReadAll(dir / "7z.txt");
  if (seven != 0 || !Contains(seven_out, "Everything is Ok") || Contains(seven_out, "ARNING") ||
      Contains(seven_out, "arnings:"))
    f += "7z t: " + seven_out + "\n";

  if (Run("bsdtar -tf " + file + " >" + d + "/bsdtar.txt 2>" + d + "/bsdtar.err") != 0 ||
      !ReadAll(dir / "bsdtar.err").empty())
    f += "bsdtar -tf: " + ReadAll(dir / "bsdtar.err") + "\n";
  else {
    const std::string listing = ReadAll(dir / "bsdtar.txt");
    size_t lines = 0;
    for (char c : listing) lines += c == '\n';
    if (lines != member_count) f += "bsdtar -tf: listed " + std::to_string(lines) + " members\n";
  }

  if (Run("python3 " + d + "/check.py " + file + " " + d + "/dump.bin" + (python_sizes_only ? " sizes" : "") +
          " >" + d + "/py.txt 2>&1") != 0)
    f += "python zipfile: " + ReadAll(dir / "py.txt") + "\n";
  else
    f += python_check(ReadAll(dir / "dump.bin"));

  std::error_code ec;
  fs::remove_all(dir, ec);
  return verdict;
}

}  // namespace

ReaderVerdict CheckWithRealReaders(const std::string& zip, const std::vector<ExpectedMember>& members,
                                   const std::string& comment) {
  return RunReaders(zip, "", members.size(), false,
                    [&](const std::string& dump) { return CompareDump(dump, members, comment); });
}

ReaderVerdict CheckFileIntegrityWithRealReaders(const std::string& zip_file,
                                                const std::vector<std::pair<std::string, uint64_t>>& names_and_sizes) {
  return RunReaders("", zip_file, names_and_sizes.size(), true, [&](const std::string& dump) -> std::string {
    std::istringstream in(dump);
    size_t comment_len = 0;
    in >> comment_len;
    in.ignore(static_cast<std::streamsize>(comment_len) + 1);
    for (const auto& [name, size] : names_and_sizes) {
      std::string got_name;
      uint64_t got_size = 0;
      if (!(in >> got_name >> got_size) || got_name != name || got_size != size)
        return "python: member " + name + " listed as " + got_name + " of " + std::to_string(got_size) + "\n";
    }
    return "";
  });
}

}  // namespace kv::ziptest
