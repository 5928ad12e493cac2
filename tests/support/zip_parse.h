#pragma once
// A small, strict ZIP reader for the tests: it follows the end record (and the ZIP64 end
// records) to the central directory and decodes every field, so the tests can check the
// writer's bytes field by field. Any inconsistency throws std::runtime_error.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kv::ziptest {

uint16_t Get16(const std::string& s, uint64_t at);
uint32_t Get32(const std::string& s, uint64_t at);
uint64_t Get64(const std::string& s, uint64_t at);

struct CentralEntry {
  uint64_t entry_offset = 0;  // where the central header starts
  uint16_t version_made_by = 0, version_needed = 0, flags = 0, method = 0, time = 0, date = 0;
  uint32_t crc = 0, compressed32 = 0, uncompressed32 = 0, external_attributes = 0, offset32 = 0;
  uint16_t internal_attributes = 0, disk = 0;
  std::string name, comment;
  std::map<uint16_t, std::string> extras;  // header id -> data
  // Sizes and offset with the ZIP64 field applied.
  uint64_t compressed = 0, uncompressed = 0, header_offset = 0;
};

struct Archive {
  uint64_t end_offset = 0;  // offset of the end record
  uint16_t end_count_disk = 0, end_count_total = 0;
  uint32_t end_directory_size = 0, end_directory_offset = 0;
  std::string comment;
  bool zip64 = false;
  uint64_t zip64_end_offset = 0, zip64_count = 0, directory_size = 0, directory_offset = 0;
  std::vector<CentralEntry> entries;
};

// Parses the archive; the end record must be the last 22 bytes plus the comment.
Archive Parse(const std::string& zip);

// The member's bytes as stored (checks the local header against the central entry).
std::string StoredBytes(const std::string& zip, const CentralEntry& entry);
// Inflates raw deflate data that must end exactly at the end of `data`.
std::string InflateRawExact(const std::string& data);
// The member's content: stored or inflated, CRC checked.
std::string Extract(const std::string& zip, const CentralEntry& entry);

}  // namespace kv::ziptest
