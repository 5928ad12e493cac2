#include "http/file_range.h"

#include "base/text_case.h"

namespace kv {
namespace {

struct MimeRow {
  const char* extension;
  const char* type;
};

constexpr MimeRow kMimeTypes[] = {
    {"AU", "audio/basic"},          {"AVI", "video/x-msvideo"},
    {"BMP", "image/bmp"},           {"DOC", "application/msword"},
    {"EPS", "application/Postscript"}, {"GIF", "image/gif"},
    {"GZ", "application/gzip"},     {"HTM", "text/html"},
    {"HTML", "text/html"},          {"JAR", "application/x-java-archive"},
    {"JPEG", "image/jpeg"},         {"JPG", "image/jpeg"},
    {"JS", "application/x-javascript"}, {"LOG", "text/plain"},
    {"MID", "audio/midi"},          {"MOV", "video/quicktime"},
    {"MPEG", "video/mpeg"},         {"MPG", "video/mpeg"},
    {"MP2", "audio/mpeg"},          {"MP3", "audio/mpeg"},
    {"OGG", "application/ogg"},     {"PDF", "application/pdf"},
    {"PNG", "image/png"},           {"PS", "application/Postscript"},
    {"QT", "video/quicktime"},      {"RA", "audio/x-realaudio"},
    {"RAR", "application/x-rar"},   {"RPM", "application/octetstream"},
    {"RTF", "application/rtf"},     {"SND", "audio/basic"},
    {"TIF", "image/tiff"},          {"TIFF", "image/tiff"},
    {"TXT", "text/plain"},          {"WAV", "audio/x-wav"},
    {"WPD", "application/Wordperfect5.1"}, {"XHTML", "text/html"},
    {"XML", "text/xml"},            {"ZIP", "application/zip"},
};

// Decimal digits only; -1 for anything else, or a value too large for a byte offset.
int64_t DecimalOrMinusOne(const std::string& text) {
  if (text.empty() || text.size() > 18) return -1;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::string MimeTypeOf(const std::string& extension) {
  std::string ext = !extension.empty() && extension[0] == '.' ? extension.substr(1) : extension;
  for (const MimeRow& row : kMimeTypes)
    if (SameTextAscii(ext, row.extension)) return row.type;
  return {};
}

std::string ExtractExtension(const std::string& path) {
  std::size_t name_start = path.find_last_of("/\\:");
  name_start = name_start == std::string::npos ? 0 : name_start + 1;
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < name_start) return {};
  return path.substr(dot);
}

ByteRange ApplyRange(const std::string& spec, int64_t size) {
  ByteRange range;
  range.end = size - 1;
  if (spec.empty()) return range;
  if (LowerCaseAscii(spec.substr(0, 6)) != "bytes=" || spec.find(',') != std::string::npos) {
    range.code = 501;  // one range of bytes only
    return range;
  }
  const std::string r = spec.substr(6);
  const std::size_t dash = r.find('-');
  const std::string first = dash == std::string::npos ? std::string() : r.substr(0, dash);
  const std::string last = dash == std::string::npos ? r : r.substr(dash + 1);
  int64_t a = DecimalOrMinusOne(first);
  int64_t b = DecimalOrMinusOne(last);
  if ((!first.empty() && a < 0) || (!last.empty() && b < 0) || (!last.empty() && b < a)) {
    range.code = 400;
    return range;
  }
  if (dash != std::string::npos && first.empty() && !last.empty()) {
    // "bytes=-N": the last N bytes.
    if (b == 0 || size <= 0) {
      range.code = 416;
      return range;
    }
    a = b >= size ? 0 : size - b;
    b = size - 1;
  } else {
    if (a < 0) a = 0;
    if (last.empty() || b > size - 1) b = size - 1;
  }
  if (a > size - 1) {
    range.code = 416;
    return range;
  }
  range.code = 206;
  range.start = a;
  range.end = b;
  return range;
}

void AddRangeHeaders(std::vector<std::string>& headers, const ByteRange& range, int64_t size) {
  headers.push_back("Content-Range: bytes " + std::to_string(range.start) + "-" +
                    std::to_string(range.end) + "/" + std::to_string(size));
  for (std::string& line : headers) {
    if (LowerCaseAscii(line.substr(0, 15)) == "content-length:") {
      line = "Content-length: " + std::to_string(range.end + 1 - range.start);
      break;
    }
  }
}

std::string UnsatisfiableRangeHeader(int64_t size) {
  return "Content-Range: bytes */" + std::to_string(size);
}

}  // namespace kv
