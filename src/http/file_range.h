#pragma once
// Content types by file extension and the single byte range of a Range header.
// Pure functions, callable from any thread.
#include <cstdint>
#include <string>
#include <vector>

namespace kv {

// "image/png" for ".png" or "PNG" (one leading dot removed, case ignored); "" when the
// extension is not in the table.
std::string MimeTypeOf(const std::string& extension);

// The extension of a path including its dot ("x.tar.gz" -> ".gz"); "" when the last
// name part has none. Both "/" and "\" separate name parts.
std::string ExtractExtension(const std::string& path);

// Outcome of a Range header on content of `size` bytes:
//   200  no Range: the whole content;
//   206  bytes start..end (inclusive);
//   400  a bound that is not a number, or an end before the start;
//   416  nothing of the content is selected (start past the end, empty content, "-0");
//   501  another unit than bytes, or more than one range.
//
//   bytes=0-99   first hundred bytes     bytes=900-   from 900 to the end
//   bytes=-100   the last hundred bytes (the whole content when it is shorter)
struct ByteRange {
  int code = 200;
  int64_t start = 0;
  int64_t end = -1;
};
ByteRange ApplyRange(const std::string& spec, int64_t size);

// For a 206: appends "Content-Range: bytes A-B/SIZE" and replaces the first
// Content-length line by the length of the range.
void AddRangeHeaders(std::vector<std::string>& headers, const ByteRange& range, int64_t size);

// The header line a 416 answer carries: "Content-Range: bytes */SIZE".
std::string UnsatisfiableRangeHeader(int64_t size);

}  // namespace kv
