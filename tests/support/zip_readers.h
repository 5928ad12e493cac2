#pragma once
// Runs the real ZIP readers of the system over an archive: unzip -t, 7z t, bsdtar -tf
// and Python's zipfile (testzip plus every member read back and compared byte for byte).
// A reader that fails, warns, or reads different bytes is reported.
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

}  // namespace kv::ziptest
