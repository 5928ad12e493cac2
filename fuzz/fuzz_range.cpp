// Range header handling: whatever the header says, a 206 selects bytes inside the content
// and the headers it adds carry that range.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "http/file_range.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  int64_t content_size;
  std::memcpy(&content_size, data, 8);
  if (content_size < 0) content_size = -(content_size + 1);
  const std::string spec(reinterpret_cast<const char*>(data) + 8, size - 8);
  for (int64_t length : {content_size, content_size % 1000, int64_t{0}}) {
    const kv::ByteRange range = kv::ApplyRange(spec, length);
    switch (range.code) {
      case 200: case 400: case 416: case 501: break;
      case 206:
        if (range.start < 0 || range.end < range.start || range.end >= length) std::abort();
        break;
      default: std::abort();
    }
    if (range.code == 206) {
      std::vector<std::string> headers = {"Content-length: 1"};
      kv::AddRangeHeaders(headers, range, length);
      if (headers.front() != "Content-length: " + std::to_string(range.end - range.start + 1))
        std::abort();
    }
  }
  (void)kv::MimeTypeOf(spec);
  (void)kv::ExtractExtension(spec);
  return 0;
}
