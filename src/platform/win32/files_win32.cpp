#include <windows.h>
#include <algorithm>

#include "platform/files.h"
#include "platform/win32/system_error.h"

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

// Stores the text of the error for the caller; always false, so failures can return it.
bool Failed(std::string* error, DWORD code) {
  if (error != nullptr) *error = SystemErrorText(code);
  return false;
}

// 0, or the error of the write that failed.
DWORD WriteAll(HANDLE h, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(h, data + done, chunk, &written, nullptr)) return GetLastError();
    if (written == 0) return ERROR_WRITE_FAULT;
    done += written;
  }
  return 0;
}

}  // namespace

FileReadResult ReadWholeFile(const std::string& path, std::string& content, size_t max_bytes) {
  content.clear();
  ScopedFile f(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f.valid()) {
    DWORD e = GetLastError();
    return (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) ? FileReadResult::kMissing
                                                                    : FileReadResult::kFailed;
  }
  // A file that grows while it is read still ends at max_bytes.
  LARGE_INTEGER size{};
  if (GetFileSizeEx(f.get(), &size) && size.QuadPart > 0)
    content.reserve(static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(size.QuadPart), max_bytes)));
  char buffer[65536];
  while (content.size() < max_bytes) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(sizeof buffer, max_bytes - content.size()));
    if (!ReadFile(f.get(), buffer, want, &got, nullptr)) {
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

bool FileSize(const std::string& path, uint64_t& size, std::string* error) {
  size = 0;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    const DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND || Failed(error, e);
  }
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return Failed(error, ERROR_ACCESS_DENIED);
  size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& content, std::string* error) {
  ScopedFile f(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f.valid()) return Failed(error, GetLastError());
  const DWORD code = WriteAll(f.get(), content.data(), content.size());
  return code == 0 || Failed(error, code);
}

bool AppendToFile(const std::string& path, const std::string& content) {
  ScopedFile f(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  return f.valid() && WriteAll(f.get(), content.data(), content.size()) == 0;
}

bool AppendLines(const std::string& path, const std::string& lines, uint64_t& size, std::string* error) {
  // Read and write access: the last byte is looked at, and a failed write is cut back.
  ScopedFile f(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f.valid()) return Failed(error, GetLastError());
  LARGE_INTEGER old_size{};
  if (!GetFileSizeEx(f.get(), &old_size)) return Failed(error, GetLastError());
  char last = '\n';
  if (old_size.QuadPart > 0) {
    LARGE_INTEGER at{};
    at.QuadPart = old_size.QuadPart - 1;
    DWORD got = 0;
    if (!SetFilePointerEx(f.get(), at, nullptr, FILE_BEGIN) || !ReadFile(f.get(), &last, 1, &got, nullptr) || got != 1)
      last = '\n';
  }
  if (!SetFilePointerEx(f.get(), old_size, nullptr, FILE_BEGIN)) return Failed(error, GetLastError());
  DWORD code = last == '\n' ? 0 : WriteAll(f.get(), "\r\n", 2);
  if (code == 0) code = WriteAll(f.get(), lines.data(), lines.size());
  if (code != 0) {
    SetFilePointerEx(f.get(), old_size, nullptr, FILE_BEGIN);
    SetEndOfFile(f.get());
    return Failed(error, code);
  }
  LARGE_INTEGER new_size{};
  if (GetFileSizeEx(f.get(), &new_size)) size = static_cast<uint64_t>(new_size.QuadPart);
  return true;
}

bool RemoveFileAt(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool MoveFileOver(const std::string& from, const std::string& to, std::string* error) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0 ||
         Failed(error, GetLastError());
}

}  // namespace kv::platform
