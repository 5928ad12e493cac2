#include "support/zip_parse.h"

#include <zlib.h>

#include <stdexcept>

namespace kv::ziptest {

namespace {
void Need(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(what);
}
}  // namespace

uint16_t Get16(const std::string& s, uint64_t at) {
  Need(at + 2 <= s.size(), "read past end");
  return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8);
}
uint32_t Get32(const std::string& s, uint64_t at) { return Get16(s, at) | static_cast<uint32_t>(Get16(s, at + 2)) << 16; }
uint64_t Get64(const std::string& s, uint64_t at) { return Get32(s, at) | static_cast<uint64_t>(Get32(s, at + 4)) << 32; }

Archive Parse(const std::string& zip) {
  Archive a;
  Need(zip.size() >= 22, "shorter than an end record");
  // Exactly one candidate is valid: the one whose comment reaches the end of the file.
  bool found = false;
  for (uint64_t at = zip.size() - 22 + 1; at-- > 0 && zip.size() - at <= 22 + 65535;) {
    if (Get32(zip, at) == 0x06054B50 && at + 22 + Get16(zip, at + 20) == zip.size()) {
      a.end_offset = at;
      found = true;
      break;
    }
  }
  Need(found, "no end record");
  const uint64_t e = a.end_offset;
  Need(Get16(zip, e + 4) == 0 && Get16(zip, e + 6) == 0, "disk numbers");
  a.end_count_disk = Get16(zip, e + 8);
  a.end_count_total = Get16(zip, e + 10);
  a.end_directory_size = Get32(zip, e + 12);
  a.end_directory_offset = Get32(zip, e + 16);
  a.comment = zip.substr(e + 22);
  a.zip64_count = a.end_count_total;
  a.directory_size = a.end_directory_size;
  a.directory_offset = a.end_directory_offset;
  if (e >= 20 && Get32(zip, e - 20) == 0x07064B50) {
    a.zip64 = true;
    Need(Get32(zip, e - 16) == 0 && Get32(zip, e - 4) == 1, "locator disks");
    a.zip64_end_offset = Get64(zip, e - 12);
    const uint64_t z = a.zip64_end_offset;
    Need(z + 56 == e - 20, "ZIP64 end record not right before the locator");
    Need(Get32(zip, z) == 0x06064B50 && Get64(zip, z + 4) == 44, "ZIP64 end record header");
    Need(Get16(zip, z + 12) == 45 && Get16(zip, z + 14) == 45, "ZIP64 end record versions");
    Need(Get32(zip, z + 16) == 0 && Get32(zip, z + 20) == 0, "ZIP64 end record disks");
    Need(Get64(zip, z + 24) == Get64(zip, z + 32), "ZIP64 counts");
    a.zip64_count = Get64(zip, z + 32);
    a.directory_size = Get64(zip, z + 40);
    a.directory_offset = Get64(zip, z + 48);
  }
  const uint64_t directory_end = a.zip64 ? a.zip64_end_offset : a.end_offset;
  Need(a.directory_offset + a.directory_size == directory_end, "directory does not end at the end records");
  uint64_t at = a.directory_offset;
  for (uint64_t i = 0; i < a.zip64_count; ++i) {
    CentralEntry c;
    c.entry_offset = at;
    Need(Get32(zip, at) == 0x02014B50, "central header signature");
    c.version_made_by = Get16(zip, at + 4);
    c.version_needed = Get16(zip, at + 6);
    c.flags = Get16(zip, at + 8);
    c.method = Get16(zip, at + 10);
    c.time = Get16(zip, at + 12);
    c.date = Get16(zip, at + 14);
    c.crc = Get32(zip, at + 16);
    c.compressed32 = Get32(zip, at + 20);
    c.uncompressed32 = Get32(zip, at + 24);
    const uint16_t name_len = Get16(zip, at + 28), extra_len = Get16(zip, at + 30), comment_len = Get16(zip, at + 32);
    c.disk = Get16(zip, at + 34);
    c.internal_attributes = Get16(zip, at + 36);
    c.external_attributes = Get32(zip, at + 38);
    c.offset32 = Get32(zip, at + 42);
    Need(at + 46 + name_len + extra_len + comment_len <= directory_end, "central entry past the directory");
    c.name = zip.substr(at + 46, name_len);
    for (uint64_t x = at + 46 + name_len; x < at + 46 + name_len + extra_len;) {
      const uint16_t id = Get16(zip, x), len = Get16(zip, x + 2);
      Need(x + 4 + len <= at + 46 + name_len + extra_len, "extra field overruns");
      Need(c.extras.emplace(id, zip.substr(x + 4, len)).second, "duplicate extra field");
      x += 4 + len;
    }
    c.comment = zip.substr(at + 46 + name_len + extra_len, comment_len);
    c.compressed = c.compressed32;
    c.uncompressed = c.uncompressed32;
    c.header_offset = c.offset32;
    if (auto z = c.extras.find(0x0001); z != c.extras.end()) {
      uint64_t p = 0;
      if (c.uncompressed32 == 0xFFFFFFFF) c.uncompressed = Get64(z->second, (p += 8) - 8);
      if (c.compressed32 == 0xFFFFFFFF) c.compressed = Get64(z->second, (p += 8) - 8);
      if (c.offset32 == 0xFFFFFFFF) c.header_offset = Get64(z->second, (p += 8) - 8);
      Need(p == z->second.size(), "ZIP64 field holds other values than the marked ones");
    } else {
      Need(c.uncompressed32 != 0xFFFFFFFF && c.compressed32 != 0xFFFFFFFF && c.offset32 != 0xFFFFFFFF,
           "32-bit marker without ZIP64 field");
    }
    a.entries.push_back(c);
    at += 46 + name_len + extra_len + comment_len;
  }
  Need(at == directory_end, "central directory size mismatch");
  return a;
}

std::string StoredBytes(const std::string& zip, const CentralEntry& c) {
  const uint64_t h = c.header_offset;
  Need(Get32(zip, h) == 0x04034B50, "local header signature");
  Need(Get16(zip, h + 4) == c.version_needed, "local version needed");
  Need(Get16(zip, h + 6) == c.flags && Get16(zip, h + 8) == c.method, "local flags or method");
  Need(Get16(zip, h + 10) == c.time && Get16(zip, h + 12) == c.date, "local time");
  Need(Get32(zip, h + 14) == c.crc, "local CRC");
  Need(Get16(zip, h + 26) == c.name.size(), "local name length");
  Need(zip.compare(h + 30, c.name.size(), c.name) == 0, "local name");
  const uint16_t extra = Get16(zip, h + 28);
  if (extra == 0) {
    Need(Get32(zip, h + 18) == c.compressed32 && Get32(zip, h + 22) == c.uncompressed32, "local sizes");
  } else {
    // Only a ZIP64 field with both sizes, the 32-bit fields marked.
    const uint64_t x = h + 30 + c.name.size();
    Need(extra == 20 && Get16(zip, x) == 0x0001 && Get16(zip, x + 2) == 16, "local extra field");
    Need(Get32(zip, h + 18) == 0xFFFFFFFF && Get32(zip, h + 22) == 0xFFFFFFFF, "local ZIP64 markers");
    Need(Get64(zip, x + 4) == c.uncompressed && Get64(zip, x + 12) == c.compressed, "local ZIP64 sizes");
  }
  const uint64_t data = h + 30 + c.name.size() + extra;
  Need(data + c.compressed <= zip.size(), "data past end");
  return zip.substr(data, c.compressed);
}

std::string InflateRawExact(const std::string& data) {
  z_stream z{};
  Need(inflateInit2(&z, -MAX_WBITS) == Z_OK, "inflateInit2");
  std::string out;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  char buffer[65536];
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    rc = inflate(&z, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - z.avail_out);
    if (rc == Z_BUF_ERROR && z.avail_in == 0) break;
  }
  const uInt left = z.avail_in;
  inflateEnd(&z);
  Need(rc == Z_STREAM_END, "deflate stream does not end");
  Need(left == 0, "bytes after the end of the deflate stream");
  return out;
}

std::string Extract(const std::string& zip, const CentralEntry& c) {
  std::string stored = StoredBytes(zip, c);
  std::string content = c.method == 0 ? stored : InflateRawExact(stored);
  Need(content.size() == c.uncompressed, "uncompressed size");
  Need(crc32(0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())) == c.crc, "CRC");
  return content;
}

}  // namespace kv::ziptest
