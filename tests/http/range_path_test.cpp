#include <gtest/gtest.h>

#include "http/file_range.h"
#include "http/http_text.h"
#include "http/request_path.h"

namespace kv {
namespace {

TEST(MimeType, TableLookupIgnoresCaseAndOneLeadingDot) {
  struct Row {
    const char* ext;
    const char* type;
  } rows[] = {
      {".png", "image/png"}, {"PNG", "image/png"}, {".PnG", "image/png"},
      {".eps", "application/Postscript"}, {".rpm", "application/octetstream"},
      {".wpd", "application/Wordperfect5.1"}, {".xhtml", "text/html"}, {".zip", "application/zip"},
      {".log", "text/plain"}, {".au", "audio/basic"}, {".ico", ""}, {"", ""}, {".", ""},
      {"..png", ""}, {".png ", ""}, {".tiff", "image/tiff"},
  };
  for (const Row& r : rows) EXPECT_EQ(MimeTypeOf(r.ext), r.type) << r.ext;
  EXPECT_EQ(ExtractExtension("C:\\Mon\\LOGO.PNG"), ".PNG");
  EXPECT_EQ(ExtractExtension("/a.b/file"), "");
  EXPECT_EQ(ExtractExtension("/x/a.tar.gz"), ".gz");
}

TEST(ByteRanges, RangeHeaderOnThousandBytes) {
  struct Row {
    const char* spec;
    int code;
    int64_t start, end;
  } rows[] = {
      {"", 200, 0, 999},
      {"bytes=0-99", 206, 0, 99},
      {"BYTES=0-99", 206, 0, 99},
      {"bytes=900-", 206, 900, 999},
      {"bytes=500-9999", 206, 500, 999},
      {"bytes=999-999", 206, 999, 999},
      {"bytes=-100", 206, 900, 999},    // the last hundred bytes
      {"bytes=-1000", 206, 0, 999},
      {"bytes=-5000", 206, 0, 999},
      {"bytes=-", 206, 0, 999},
      {"bytes=-0", 416, 0, 999},
      {"bytes=1000-", 416, 0, 999},
      {"bytes=5000-", 416, 0, 999},
      {"bytes=5000-6000", 416, 0, 999},
      {"bytes=0-9,20-29", 501, 0, 999},
      {"items=0-9", 501, 0, 999},
      {"bytes", 501, 0, 999},
      {"bytes=a-9", 400, 0, 999},
      {"bytes=9-2", 400, 0, 999},
      {"bytes=0-x", 400, 0, 999},
      {"bytes= 1-2", 400, 0, 999},
      {"bytes=99999999999999999999-", 400, 0, 999},
  };
  for (const Row& r : rows) {
    ByteRange got = ApplyRange(r.spec, 1000);
    EXPECT_EQ(got.code, r.code) << r.spec;
    if (got.code == 206 || got.code == 200) {
      EXPECT_EQ(got.start, r.start) << r.spec;
      EXPECT_EQ(got.end, r.end) << r.spec;
    }
  }
}

TEST(ByteRanges, EmptyContentSatisfiesNoRange) {
  EXPECT_EQ(ApplyRange("", 0).code, 200);
  for (const char* spec : {"bytes=0-", "bytes=0-0", "bytes=-1", "bytes=-"})
    EXPECT_EQ(ApplyRange(spec, 0).code, 416) << spec;
  EXPECT_EQ(UnsatisfiableRangeHeader(0), "Content-Range: bytes */0");
}

TEST(ByteRanges, ContentRangeIsLastAndLengthIsReplaced) {
  std::vector<std::string> headers = FileHeaders(1000, "d", "image/png");
  AddRangeHeaders(headers, ApplyRange("bytes=0-99", 1000), 1000);
  ASSERT_EQ(headers.size(), 6u);
  EXPECT_EQ(headers.front(), "Content-length: 100");
  EXPECT_EQ(headers.back(), "Content-Range: bytes 0-99/1000");
}

TEST(RequestDir, DotSegmentsAndQueries) {
  struct Row {
    const char* target;
    const char* dir;
    const char* name;
  } rows[] = {
      {"/", "/", ""},
      {"/index.html", "/", "index.html"},
      {"/sub/index.html", "/sub/", "index.html"},
      {"/a/b/c.txt?x=/y/z", "/a/b/", "c.txt"},
      {"/?q=1", "/", ""},
      {"/./x", "/", "x"},
      {"/a/./b/x", "/a/b/", "x"},
      {"/a/../favicon.ico", "/", "favicon.ico"},
      {"/a/b/../../c/x", "/c/", "x"},
      {"/a/b/../x", "/a/", "x"},
      {"/../x", "", "x"},
      {"/a/../../x", "", "x"},
      {"/a/../../../etc/passwd", "", "passwd"},
      {"x", "/", "x"},
      {"//x", "//", "x"},
      {"/%2e%2e/x", "/%2e%2e/", "x"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ExtractRequestDir(r.target), r.dir) << r.target;
    EXPECT_EQ(ExtractRequestName(r.target), r.name) << r.target;
  }
}

TEST(RequestDir, TrailingDelimiter) {
  struct Row {
    const char* path;
    char sep;
    const char* expected;
  } rows[] = {
      {"", '\\', ""},          {"C:", '\\', "C:"},         {"C:\\Mon\\", '\\', "C:\\Mon\\"},
      {"c", '\\', "c:\\"},     {"Z", '\\', "Z:\\"},        {"1", '\\', "1\\"},
      {"C:\\Mon", '\\', "C:\\Mon\\"}, {"/opt/kv", '/', "/opt/kv/"}, {"/opt/kv/", '/', "/opt/kv/"},
      {"c", '/', "c/"},        {"", '/', ""},
  };
  for (const Row& r : rows) EXPECT_EQ(AddTrailingDelimiter(r.path, r.sep), r.expected) << r.path;
}

TEST(ServablePath, RejectsEverythingThatCouldLeaveTheFolder) {
  struct Row {
    const char* dir;
    const char* name;
    bool posix_ok;
    bool windows_ok;
  } rows[] = {
      {"/", "file.txt", true, true},
      {"/sub/", "file.txt", true, true},
      {"", "passwd", false, false},  // "/../" climbed above the root
      {"/", "..", false, false},
      {"/", "..\\x", false, false},
      {"/a\\..\\", "x", false, false},
      {"/", "C:x", false, false},
      {"/", "file.txt:stream", false, false},
      {"/...", "x", false, false},
      {"/", "CON", true, false},
      {"/", "nul.txt", true, false},
      {"/", "Com1", true, false},
      {"/", "lpt9.log", true, false},
      {"/", "aux .txt", true, false},
      {"/", "com10", true, true},
      {"/", "console", true, true},
      {"/con/", "x", true, false},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(IsServablePath(r.dir, r.name, PathRules::kPosix), r.posix_ok) << r.dir << r.name;
    EXPECT_EQ(IsServablePath(r.dir, r.name, PathRules::kWindows), r.windows_ok) << r.dir << r.name;
  }
  EXPECT_FALSE(IsServablePathPart(std::string("a\0b", 3), PathRules::kPosix));
}

TEST(LoopbackAddress, OnlyLoopbackClientsCount) {
  for (const char* a : {"127.0.0.1", "127.0.0.2", "127.255.255.254", "::1", "::ffff:127.0.0.1"})
    EXPECT_TRUE(IsLoopbackAddress(a)) << a;
  for (const char* a : {"10.0.0.1", "128.0.0.1", "", "::2", "127.0.0", "127.0.0.1x", "::ffff:10.1.1.1",
                        "fe80::1", "1127.0.0.1"})
    EXPECT_FALSE(IsLoopbackAddress(a)) << a;
}

}  // namespace
}  // namespace kv
