// File responses: files from the program folder, embedded files and the support archive,
// with their content types and a single byte range.
#include <chrono>
#include <filesystem>
#include <fstream>

#include "http/file_range.h"
#include "http/http_text.h"
#include "http/http_thread.h"
#include "resources/resource_store.h"

namespace kv {
namespace {

constexpr std::size_t kChunk = 8192;

// Last write time as UTC Unix seconds, even like the packed file dates (2 s steps).
bool FileTimeUtc(const std::filesystem::path& path, int64_t& utc_seconds) {
  std::error_code ec;
  const auto written = std::filesystem::last_write_time(path, ec);
  if (ec) return false;
  const auto sys = std::chrono::file_clock::to_sys(written);
  utc_seconds = std::chrono::duration_cast<std::chrono::seconds>(sys.time_since_epoch()).count();
  utc_seconds -= ((utc_seconds % 2) + 2) % 2;
  return true;
}

}  // namespace

bool TTCPHttpThrd::ApplyRangeOrFail(int64_t size, std::vector<std::string>& headers,
                                    int64_t& start, int64_t& end) {
  const ByteRange range = ApplyRange(RangeSpec, size);
  if (range.code == 416) {
    SendErrorPage(416, UnsatisfiableRangeHeader(size));
    return false;
  }
  if (range.code != 200 && range.code != 206) {
    SendErrorPage(range.code);
    return false;
  }
  ResultCode = range.code;
  if (range.code == 206) AddRangeHeaders(headers, range, size);
  start = range.start;
  end = range.end;
  return true;
}

void TTCPHttpThrd::SendDiskFile(const std::string& local_name) {
  const std::filesystem::path path(local_name);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return SendErrorPage(404);
  const std::uintmax_t raw_size = std::filesystem::file_size(path, ec);
  int64_t modified = 0;
  if (ec || !FileTimeUtc(path, modified)) return SendErrorPage(503);
  const int64_t size = static_cast<int64_t>(raw_size);
  ResultCode = 200;
  std::vector<std::string> headers =
      FileHeaders(size, HttpDateOfUtc(modified), MimeTypeOf(ExtractExtension(local_name)));
  int64_t start = 0, end = size - 1;
  if (!ApplyRangeOrFail(size, headers, start, end)) return;
  SendResponseHead(ResultCode, headers);
  if (Sock.LastError() != 0) return;
  try {
    std::ifstream file(path, std::ios::binary);
    if (!file) return;  // the response ends after the head
    file.seekg(start);
    std::string chunk;
    int64_t position = start;
    while (position <= end && Sock.LastError() == 0 && file) {
      const int64_t left = end - position + 1;
      chunk.resize(left < static_cast<int64_t>(kChunk) ? static_cast<std::size_t>(left) : kChunk);
      file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
      const std::streamsize got = file.gcount();
      if (got <= 0) break;  // the file shrank while it was sent
      chunk.resize(static_cast<std::size_t>(got));
      Sock.SendText(chunk);
      position += got;
    }
  } catch (...) {
    // A failure after the head ends the response silently.
  }
}

void TTCPHttpThrd::SendResourceFile(int index, const std::string& local_name) {
  std::string data;
  if (Context.resources == nullptr || !Context.resources->GetData(index, data)) return SendErrorPage(404);
  const int64_t size = static_cast<int64_t>(data.size());
  ResultCode = 200;
  std::vector<std::string> headers =
      FileHeaders(size, HttpDateNow(), MimeTypeOf(ExtractExtension(local_name)));
  int64_t start = 0, end = size - 1;
  if (!ApplyRangeOrFail(size, headers, start, end)) return;
  SendResponseHead(ResultCode, headers,
                   std::string_view(data.data() + start, end >= start ? static_cast<std::size_t>(end - start + 1) : 0));
}

void TTCPHttpThrd::SendAttachment(const std::string& content, const std::string& file_name) {
  // A Range header plays no part here: the whole content is always sent.
  ResultCode = 200;
  SendResponseHead(ResultCode,
                   AttachmentHeaders(static_cast<int64_t>(content.size()), HttpDateNow(),
                                     MimeTypeOf(ExtractExtension(file_name)), file_name),
                   content);
}

}  // namespace kv
