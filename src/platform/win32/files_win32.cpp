#include <windows.h>
#include <algorithm>

#include "platform/files.h"

namespace kv::platform {
namespace {

class ScopedFile {
 public:
  explicit ScopedFile(HANDLE h) : h_(h) {}
  ~ScopedFile() {
    if (valid()) CloseHandle(h_);
  }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

bool WriteAll(HANDLE h, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(h, content.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

}  // namespace

FileReadResult ReadWholeFile(const std::string& path, std::string& content) {
  content.clear();
  ScopedFile f(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f.valid()) {
    DWORD e = GetLastError();
    return (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) ? FileReadResult::kMissing
                                                                    : FileReadResult::kFailed;
  }
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(f.get(), buffer, sizeof buffer, &got, nullptr)) {
      content.clear();
      return FileReadResult::kFailed;
    }
    if (got == 0) break;
    content.append(buffer, got);
  }
  return FileReadResult::kOk;
}

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WriteWholeFile(const std::string& path, const std::string& content) {
  ScopedFile f(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  return f.valid() && WriteAll(f.get(), content);
}

bool AppendToFile(const std::string& path, const std::string& content) {
  ScopedFile f(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  return f.valid() && WriteAll(f.get(), content);
}

bool RemoveFileAt(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool MoveFileOver(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace kv::platform
