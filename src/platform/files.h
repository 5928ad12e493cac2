#pragma once
// Whole-file reads and writes with byte-exact content. Paths are 8-bit strings.
#include <cstdint>
#include <string>

namespace kv::platform {

enum class FileReadResult { kOk, kMissing, kFailed };

// Reads the whole file; kMissing when it does not exist, kFailed when it exists but cannot
// be read (permissions, a folder, an I/O error).
FileReadResult ReadWholeFile(const std::string& path, std::string& content);

bool FileExists(const std::string& path);

// Creates or truncates the file and writes `content`. Returns false on any failure.
bool WriteWholeFile(const std::string& path, const std::string& content);

// Appends to the file, creating it when absent. Returns false on any failure.
bool AppendToFile(const std::string& path, const std::string& content);

bool RemoveFileAt(const std::string& path);

// Renames `from` to `to`, replacing a file `to` in one step. Returns false on any failure.
bool MoveFileOver(const std::string& from, const std::string& to);

}  // namespace kv::platform
