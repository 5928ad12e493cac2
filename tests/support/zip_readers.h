#pragma once
// Runs the real ZIP readers of the system over an archive: unzip -t, 7z t, bsdtar -tf
// and Python's zipfile (testzip plus every member read back and compared byte for byte).
// A reader that fails, warns, or reads different bytes is reported.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kv::ziptest {

struct ExpectedMember {
  std::string name;  // as stored (OEM code page)
  std::string content;
};

struct ReaderVerdict {
  bool available = false;  // false without a POSIX shell (the Windows build under Wine)
  std::string failures;    // empty when every reader accepted the archive
};

ReaderVerdict CheckWithRealReaders(const std::string& zip, const std::vector<ExpectedMember>& members,
                                   const std::string& comment);

// For members too large to hold twice: the readers test the archive file (CRCs included)
// and Python reports names and sizes only, compared with `names_and_sizes`.
ReaderVerdict CheckFileIntegrityWithRealReaders(const std::string& zip_file,
                                                const std::vector<std::pair<std::string, uint64_t>>& names_and_sizes);

}  // namespace kv::ziptest
