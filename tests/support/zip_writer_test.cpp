// Byte layout of the archives TFWZipWriter builds, checked field by field and by the
// real ZIP readers of the system.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "platform/codepage.h"
#include "support/zip_parse.h"
#include "support/zip_readers.h"
#include "support/zip_writer.h"

namespace kv {
namespace {

using ziptest::Get16;
using ziptest::Get32;
using ziptest::Get64;

// 2024-03-05 14:07:09.250 local time in a zone three hours east of UTC.
TZipTime FixedTime() {
  TZipTime t;
  t.local.year = 2024;
  t.local.month = 3;
  t.local.day = 5;
  t.local.hour = 14;
  t.local.minute = 7;
  t.local.second = 9;
  t.local.millisecond = 250;
  t.zone_bias_minutes = -180;
  return t;
}
constexpr uint64_t kFixedFileTime = 133541104292500000ull;  // 2024-03-05 11:07:09.25 UTC
constexpr uint16_t kFixedDosDate = 0x5865;
constexpr uint16_t kFixedDosTime = 0x70E4;

std::string Build(TFWZipWriter& writer, TZipBuildResult expected = TZipBuildResult::kDone) {
  std::string zip;
  EXPECT_EQ(writer.BuildZip(zip), expected);
  return zip;
}

void ExpectReadersAccept(const std::string& zip, const std::vector<ziptest::ExpectedMember>& members,
                         const std::string& comment) {
  ziptest::ReaderVerdict verdict = ziptest::CheckWithRealReaders(zip, members, comment);
  if (verdict.available) {
    EXPECT_EQ(verdict.failures, "");
  }
}

std::string Text(size_t n, unsigned seed) {
  std::string s;
  s.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    s.push_back(static_cast<char>("korvane zepcache drive 0123456789\r\n"[(seed >> 16) % 35]));
  }
  return s;
}

TEST(ZipWriterLayout, OneStoredMemberEveryField) {
  TFWZipWriter writer;
  writer.CompressionLevel = TZipCompressionLevel::kNone;
  writer.Comment = "hello";
  writer.AddStream("a.txt", "abc", FixedTime());
  const std::string zip = Build(writer);

  ASSERT_EQ(zip.size(), 30u + 5 + 3 + 46 + 5 + 36 + 22 + 5);
  // Local header.
  EXPECT_EQ(Get32(zip, 0), 0x04034B50u);
  EXPECT_EQ(Get16(zip, 4), 20);
  EXPECT_EQ(Get16(zip, 6), 0);  // flags
  EXPECT_EQ(Get16(zip, 8), 0);  // stored
  EXPECT_EQ(Get16(zip, 10), kFixedDosTime);
  EXPECT_EQ(Get16(zip, 12), kFixedDosDate);
  EXPECT_EQ(Get32(zip, 14), 0x352441C2u);  // CRC-32 of "abc"
  EXPECT_EQ(Get32(zip, 18), 3u);
  EXPECT_EQ(Get32(zip, 22), 3u);
  EXPECT_EQ(Get16(zip, 26), 5);
  EXPECT_EQ(Get16(zip, 28), 0);
  EXPECT_EQ(zip.substr(30, 8), "a.txtabc");
  // Central header.
  const size_t c = 38;
  EXPECT_EQ(Get32(zip, c), 0x02014B50u);
  EXPECT_EQ(Get16(zip, c + 4), 45);
  EXPECT_EQ(Get16(zip, c + 6), 20);
  EXPECT_EQ(Get16(zip, c + 8), 0);
  EXPECT_EQ(Get16(zip, c + 10), 0);
  EXPECT_EQ(Get16(zip, c + 12), kFixedDosTime);
  EXPECT_EQ(Get16(zip, c + 14), kFixedDosDate);
  EXPECT_EQ(Get32(zip, c + 16), 0x352441C2u);
  EXPECT_EQ(Get32(zip, c + 20), 3u);
  EXPECT_EQ(Get32(zip, c + 24), 3u);
  EXPECT_EQ(Get16(zip, c + 28), 5);
  EXPECT_EQ(Get16(zip, c + 30), 36);
  EXPECT_EQ(Get16(zip, c + 32), 0);
  EXPECT_EQ(Get16(zip, c + 34), 0);
  EXPECT_EQ(Get16(zip, c + 36), 0);
  EXPECT_EQ(Get32(zip, c + 38), 0u);
  EXPECT_EQ(Get32(zip, c + 42), 0u);
  EXPECT_EQ(zip.substr(c + 46, 5), "a.txt");
  // NTFS extra field: modification, access, creation.
  const size_t x = c + 51;
  EXPECT_EQ(Get16(zip, x), 0x000A);
  EXPECT_EQ(Get16(zip, x + 2), 32);
  EXPECT_EQ(Get32(zip, x + 4), 0u);
  EXPECT_EQ(Get16(zip, x + 8), 1);
  EXPECT_EQ(Get16(zip, x + 10), 24);
  EXPECT_EQ(Get64(zip, x + 12), kFixedFileTime);
  EXPECT_EQ(Get64(zip, x + 20), kFixedFileTime);
  EXPECT_EQ(Get64(zip, x + 28), kFixedFileTime);
  // End record.
  const size_t e = c + 87;
  EXPECT_EQ(Get32(zip, e), 0x06054B50u);
  EXPECT_EQ(Get16(zip, e + 4), 0);
  EXPECT_EQ(Get16(zip, e + 6), 0);
  EXPECT_EQ(Get16(zip, e + 8), 1);
  EXPECT_EQ(Get16(zip, e + 10), 1);
  EXPECT_EQ(Get32(zip, e + 12), 87u);
  EXPECT_EQ(Get32(zip, e + 16), 38u);
  EXPECT_EQ(Get16(zip, e + 20), 5);
  EXPECT_EQ(zip.substr(e + 22), "hello");

  ExpectReadersAccept(zip, {{"a.txt", "abc"}}, "hello");
}

TEST(ZipWriterLayout, LevelsGiveMethodFlagsAndExactRawDeflateSizes) {
  struct Row {
    TZipCompressionLevel level;
    uint16_t method;
    uint16_t flags;
  };
  const Row rows[] = {
      {TZipCompressionLevel::kNone, 0, 0},
      {TZipCompressionLevel::kFastest, 8, 6},
      {TZipCompressionLevel::kDefault, 8, 0},
      {TZipCompressionLevel::kMaximum, 8, 2},
  };
  // Sizes around the 65535-byte copy chunk and an incompressible tail.
  std::string random_bytes;
  for (unsigned i = 0, s = 7; i < 70000; ++i) random_bytes.push_back(static_cast<char>((s = s * 69069u + 1) >> 24));
  const std::vector<std::string> contents = {"x", Text(65535, 1), Text(65536, 2), Text(300000, 3), random_bytes};

  for (const Row& row : rows) {
    TFWZipWriter writer;
    writer.CompressionLevel = row.level;
    std::vector<ziptest::ExpectedMember> expected;
    for (size_t i = 0; i < contents.size(); ++i) {
      const std::string name = "m" + std::to_string(i) + ".txt";
      writer.AddStream(name, contents[i], FixedTime());
      expected.push_back({name, contents[i]});
    }
    const std::string zip = Build(writer);
    const ziptest::Archive archive = ziptest::Parse(zip);
    ASSERT_EQ(archive.entries.size(), contents.size());
    uint64_t next_header = 0;
    for (size_t i = 0; i < contents.size(); ++i) {
      const ziptest::CentralEntry& entry = archive.entries[i];
      SCOPED_TRACE(entry.name);
      EXPECT_EQ(entry.method, row.method);
      EXPECT_EQ(entry.flags, row.flags);
      EXPECT_EQ(entry.header_offset, next_header);  // members are packed, nothing in between
      // InflateRawExact fails when bytes (an Adler-32 trailer) follow the deflate stream.
      EXPECT_EQ(ziptest::Extract(zip, entry), contents[i]);
      next_header = entry.header_offset + 30 + entry.name.size() + entry.compressed;
    }
    EXPECT_EQ(archive.directory_offset, next_header);
    ExpectReadersAccept(zip, expected, "");
  }
}

TEST(ZipWriterLayout, DescriptorFollowsTheDataAndSetsFlagBit3) {
  TFWZipWriter writer;
  writer.UseDescriptor = true;
  writer.AddStream("one.txt", Text(5000, 4), FixedTime());
  writer.CompressionLevel = TZipCompressionLevel::kNone;
  writer.AddStream("two.txt", "stored", FixedTime());
  const std::string zip = Build(writer);
  const ziptest::Archive archive = ziptest::Parse(zip);
  ASSERT_EQ(archive.entries.size(), 2u);
  uint64_t next_header = 0;
  for (const ziptest::CentralEntry& entry : archive.entries) {
    EXPECT_EQ(entry.header_offset, next_header);
    EXPECT_EQ(entry.flags & 8, 8);
    const uint64_t d = entry.header_offset + 30 + entry.name.size() + entry.compressed;
    EXPECT_EQ(Get32(zip, d), 0x08074B50u);
    EXPECT_EQ(Get32(zip, d + 4), entry.crc);
    EXPECT_EQ(Get32(zip, d + 8), entry.compressed);
    EXPECT_EQ(Get32(zip, d + 12), entry.uncompressed);
    next_header = d + 16;
  }
  EXPECT_EQ(archive.directory_offset, next_header);
  ExpectReadersAccept(zip, {{"one.txt", Text(5000, 4)}, {"two.txt", "stored"}}, "");
}

TEST(ZipWriterNames, BackslashesBecomeSlashesAndLongNamesAreRefused) {
  TFWZipWriter writer;
  writer.AddStream("logs\\2024\\get_status.txt", "tasks", FixedTime());
  writer.AddStream(std::string(259, 'n'), "longest allowed", FixedTime());
  try {
    writer.AddStream(std::string(260, 'n'), "too long", FixedTime());
    FAIL() << "a 260-character name was accepted";
  } catch (const EZipWriterItem& e) {
    EXPECT_STREQ(e.what(), "\xD1\xEB\xE8\xF8\xEA\xEE\xEC \xE4\xEB\xE8\xED\xED\xFB\xE9 \xEF\xF3\xF2\xFC.");
  }
  EXPECT_THROW(writer.AddStream(std::string(200, '\\') + std::string(100, 'x'), "z", FixedTime()), EZipWriterItem);
  EXPECT_EQ(writer.Count(), 2u);

  const std::string zip = Build(writer);
  const ziptest::Archive archive = ziptest::Parse(zip);
  ASSERT_EQ(archive.entries.size(), 2u);
  EXPECT_EQ(archive.entries[0].name, "logs/2024/get_status.txt");
  EXPECT_EQ(archive.entries[1].name, std::string(259, 'n'));
  ExpectReadersAccept(zip, {{"logs/2024/get_status.txt", "tasks"}, {std::string(259, 'n'), "longest allowed"}}, "");
}

TEST(ZipWriterNames, CyrillicNameAndCommentAreStoredInTheOemCodePage) {
  if (platform::AnsiCodePage() != 1251 || platform::OemCodePage() != 866)
    GTEST_SKIP() << "system code pages are not the Russian pair";
  const std::string name_1251 = "\xEE\xF2\xF7\xE5\xF2.txt";                          // "отчет.txt"
  const std::string comment_1251 = "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0";        // "Привет, мир"
  const std::string name_866 = "\xAE\xE2\xE7\xA5\xE2.txt";
  const std::string comment_866 = "\x8F\xE0\xA8\xA2\xA5\xE2, \xAC\xA8\xE0";
  TFWZipWriter writer;
  writer.Comment = comment_1251;
  writer.AddStream(name_1251, "data", FixedTime());
  const std::string zip = Build(writer);
  const ziptest::Archive archive = ziptest::Parse(zip);
  EXPECT_EQ(archive.comment, comment_866);
  ASSERT_EQ(archive.entries.size(), 1u);
  EXPECT_EQ(archive.entries[0].name, name_866);
  EXPECT_EQ(ziptest::Extract(zip, archive.entries[0]), "data");
  ExpectReadersAccept(zip, {{name_866, "data"}}, comment_866);
}

TEST(ZipWriterItems, EmptyItemsLeaveNoTrace) {
  auto archive_of = [](const std::vector<std::string>& contents, TZipBuildResult expected) {
    TFWZipWriter writer;
    writer.Comment = "c";
    for (size_t i = 0; i < contents.size(); ++i)
      writer.AddStream("f" + std::to_string(i) + ".txt", contents[i], FixedTime());
    // Names depend on the index, so rename to keep the kept items' names alike.
    for (size_t i = 0, kept = 0; i < contents.size(); ++i)
      writer.Item(i).SetFileName(contents[i].empty() ? "skipped" : "k" + std::to_string(kept++));
    return Build(writer, expected);
  };
  const std::string big = Text(100000, 5);
  // An empty item first, in the middle, last: the archive equals the one without it.
  EXPECT_EQ(archive_of({"", "abc", big}, TZipBuildResult::kPartlyDone), archive_of({"abc", big}, TZipBuildResult::kDone));
  EXPECT_EQ(archive_of({"abc", "", big}, TZipBuildResult::kPartlyDone), archive_of({"abc", big}, TZipBuildResult::kDone));
  EXPECT_EQ(archive_of({big, ""}, TZipBuildResult::kPartlyDone), archive_of({big}, TZipBuildResult::kDone));

  // Nothing written at all: still a valid archive holding just the comment.
  const std::string only_empty = archive_of({"", ""}, TZipBuildResult::kFailed);
  const std::string no_items = archive_of({}, TZipBuildResult::kDone);
  EXPECT_EQ(only_empty, no_items);
  EXPECT_EQ(no_items, std::string("PK\x05\x06", 4) + std::string(16, '\0') + std::string("\x01\x00", 2) + "c");
  ExpectReadersAccept(no_items, {}, "c");
}

TEST(ZipWriterItems, ItemWithoutDataRaisesTheWriterMessage) {
  EXPECT_STREQ(kZipItemNoData,
               "\xC4\xE0\xED\xED\xFB\xE5 \xFD\xEB\xE5\xEC\xE5\xED\xF2\xE0 \xEE\xF2\xF1\xF3\xF2\xF1\xF2\xE2\xF3\xFE\xF2");
  TFWZipWriter writer;
  writer.AddStream("empty.txt", "", FixedTime());
  EXPECT_FALSE(writer.Item(0).HasData());
  EXPECT_EQ(writer.Item(0).Size(), 0u);
}

TEST(ZipWriterTime, FileTimeAndDosFieldsAreClampedToTheirRanges) {
  struct Row {
    int year, month, day, hour, minute, second, bias;
    uint64_t file_time;
    uint16_t dos_date, dos_time;
  };
  const Row rows[] = {
      // 1980-01-01 00:00:00 UTC: the first moment MS-DOS fields can hold.
      {1980, 1, 1, 0, 0, 0, 0, 119600064000000000ull, 0x0021, 0x0000},
      // Odd seconds round down in MS-DOS form; a western zone adds its bias for UTC.
      {2107, 12, 31, 23, 59, 59, 300, 159993107990000000ull, 0xFF9F, 0xBF7D},
      // Before 1980 and after 2107 the MS-DOS fields stay at their limits.
      {1979, 12, 31, 23, 59, 59, 0, 119600063990000000ull, 0x0021, 0x0000},
      {2200, 6, 1, 12, 0, 0, 0, 189156816000000000ull, 0xFF9F, 0xBF7D},
      // A date before 1601 has no FILETIME.
      {1500, 1, 1, 0, 0, 0, 0, 0, 0x0021, 0x0000},
  };
  for (const Row& r : rows) {
    TZipTime t;
    t.local = {r.year, r.month, r.day, r.hour, r.minute, r.second, 0, 0};
    t.zone_bias_minutes = r.bias;
    SCOPED_TRACE(r.year);
    EXPECT_EQ(t.FileTime(), r.file_time);
    EXPECT_EQ(t.DosDate(), r.dos_date);
    EXPECT_EQ(t.DosTime(), r.dos_time);
  }
  EXPECT_EQ(FixedTime().FileTime(), kFixedFileTime);
}

// Many members: the 16-bit count field overflows, so the ZIP64 end records take over.
TEST(ZipWriterZip64, ManyMembersUseZip64EndRecords) {
  for (size_t count : {size_t{65534}, size_t{65535}, size_t{65536}}) {
    SCOPED_TRACE(count);
    TFWZipWriter writer;
    writer.CompressionLevel = TZipCompressionLevel::kNone;
    writer.Comment = "many";
    std::vector<ziptest::ExpectedMember> expected;
    char name[32];
    for (size_t i = 0; i < count; ++i) {
      std::snprintf(name, sizeof name, "d%05zu.txt", i);
      const std::string content(1, static_cast<char>('a' + i % 26));
      writer.AddStream(name, content, FixedTime());
      expected.push_back({name, content});
    }
    const std::string zip = Build(writer);
    const ziptest::Archive archive = ziptest::Parse(zip);
    ASSERT_EQ(archive.entries.size(), count);
    const bool zip64 = count >= 65535;
    EXPECT_EQ(archive.zip64, zip64);
    EXPECT_EQ(archive.end_count_total, zip64 ? 0xFFFF : count);
    EXPECT_EQ(archive.end_count_disk, zip64 ? 0xFFFF : count);
    EXPECT_EQ(archive.end_directory_offset, archive.directory_offset);  // still fits 32 bits
    EXPECT_EQ(ziptest::Extract(zip, archive.entries.back()), expected.back().content);
    if (count != 65534) ExpectReadersAccept(zip, expected, "many");
  }
}

}  // namespace
}  // namespace kv
