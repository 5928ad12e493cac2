#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/files.h"

namespace kv::platform {
namespace {

// Stores the text of errno for the caller; always false, so failures can return it.
bool Failed(std::string* error, int code) {
  if (error != nullptr) *error = std::generic_category().message(code);
  return false;
}

// 0, or the errno of the write that failed.
int WriteAll(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    done += static_cast<size_t>(n);
  }
  return 0;
}

bool WriteWithFlags(const std::string& path, const std::string& content, int flags, std::string* error) {
  int fd = open(path.c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) return Failed(error, errno);
  int code = WriteAll(fd, content.data(), content.size());
  if (close(fd) != 0 && code == 0) code = errno;
  return code == 0 || Failed(error, code);
}

}  // namespace

FileReadResult ReadWholeFile(const std::string& path, std::string& content, size_t max_bytes) {
  content.clear();
  // Non-blocking: a FIFO in a file's place must not hang the open (it is refused below).
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? FileReadResult::kMissing : FileReadResult::kFailed;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return FileReadResult::kFailed;
  }
  // A file that grows while it is read still ends at max_bytes.
  content.reserve(std::min<uint64_t>(static_cast<uint64_t>(st.st_size), max_bytes));
  char buffer[65536];
  while (content.size() < max_bytes) {
    ssize_t n = read(fd, buffer, std::min(sizeof buffer, max_bytes - content.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      content.clear();
      return FileReadResult::kFailed;
    }
    if (n == 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return FileReadResult::kOk;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FileSize(const std::string& path, uint64_t& size, std::string* error) {
  size = 0;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return errno == ENOENT || Failed(error, errno);
  if (S_ISDIR(st.st_mode)) return Failed(error, EISDIR);
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& content, std::string* error) {
  return WriteWithFlags(path, content, O_TRUNC, error);
}

bool AppendToFile(const std::string& path, const std::string& content) {
  return WriteWithFlags(path, content, O_APPEND, nullptr);
}

bool AppendLines(const std::string& path, const std::string& lines, uint64_t& size, std::string* error) {
  int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) return Failed(error, errno);
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    const int code = errno;
    close(fd);
    return Failed(error, code);
  }
  const off_t old_size = st.st_size;
  char last = '\n';
  if (old_size > 0 && pread(fd, &last, 1, old_size - 1) != 1) last = '\n';
  int code = last == '\n' ? 0 : WriteAll(fd, "\r\n", 2);
  if (code == 0) code = WriteAll(fd, lines.data(), lines.size());
  if (code != 0 && ftruncate(fd, old_size) != 0) {
    // Nothing more can be done about the part written; the error is still told.
  }
  if (code == 0 && fstat(fd, &st) == 0) size = static_cast<uint64_t>(st.st_size);
  if (close(fd) != 0 && code == 0) code = errno;
  return code == 0 || Failed(error, code);
}

bool RemoveFileAt(const std::string& path) { return unlink(path.c_str()) == 0; }

bool MoveFileOver(const std::string& from, const std::string& to, std::string* error) {
  return rename(from.c_str(), to.c_str()) == 0 || Failed(error, errno);
}

}  // namespace kv::platform
