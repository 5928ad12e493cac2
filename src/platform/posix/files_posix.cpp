#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files.h"

namespace kv::platform {
namespace {

bool WriteAll(int fd, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool WriteWithFlags(const std::string& path, const std::string& content, int flags) {
  int fd = open(path.c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, content);
  if (close(fd) != 0) ok = false;
  return ok;
}

}  // namespace

FileReadResult ReadWholeFile(const std::string& path, std::string& content) {
  content.clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? FileReadResult::kMissing : FileReadResult::kFailed;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return FileReadResult::kFailed;
  }
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
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

bool WriteWholeFile(const std::string& path, const std::string& content) {
  return WriteWithFlags(path, content, O_TRUNC);
}

bool AppendToFile(const std::string& path, const std::string& content) {
  return WriteWithFlags(path, content, O_APPEND);
}

bool RemoveFileAt(const std::string& path) { return unlink(path.c_str()) == 0; }

bool MoveFileOver(const std::string& from, const std::string& to) { return rename(from.c_str(), to.c_str()) == 0; }

}  // namespace kv::platform
