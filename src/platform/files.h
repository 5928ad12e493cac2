#pragma once
// Whole-file reads and writes with byte-exact content. Paths are 8-bit strings.
//
// The writing calls take an optional `error`: on failure it gets the system's own words
// ("No space left on device"), for the lines that tell an administrator why.
#include <cstddef>
#include <cstdint>
#include <string>

namespace kv::platform {

enum class FileReadResult { kOk, kMissing, kFailed };

// Reads the whole file; kMissing when it does not exist, kFailed when it exists but cannot
// be read (permissions, a folder, an I/O error).
// At most `max_bytes` are read (a larger file gives its start); the buffer is sized from
// the file's size up front, so a large file is not copied as it grows.
FileReadResult ReadWholeFile(const std::string& path, std::string& content, size_t max_bytes = SIZE_MAX);

bool FileExists(const std::string& path);

// The size the file system gives for the file, without reading it; 0 for a missing file.
// False for anything else that is not a file.
bool FileSize(const std::string& path, uint64_t& size, std::string* error = nullptr);

// Creates or truncates the file and writes `content`. Returns false on any failure.
bool WriteWholeFile(const std::string& path, const std::string& content, std::string* error = nullptr);

// Appends to the file, creating it when absent. Returns false on any failure.
bool AppendToFile(const std::string& path, const std::string& content);

// Appends whole lines: all of `lines` or nothing, as a failed or short write (a full disk)
// cuts the file back to its old size. When the file ends inside a line (a crash cut it
// short), CR LF goes first so the new lines start on their own. `size` gets the file's size
// afterwards.
bool AppendLines(const std::string& path, const std::string& lines, uint64_t& size, std::string* error = nullptr);

bool RemoveFileAt(const std::string& path);

// Renames `from` to `to`, replacing a file `to` in one step. Returns false on any failure.
bool MoveFileOver(const std::string& from, const std::string& to, std::string* error = nullptr);

}  // namespace kv::platform
