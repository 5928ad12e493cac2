// The support archive: which texts become members, in which order, and its comment.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/support_archive.h"
#include "support/zip_parse.h"
#include "support/zip_readers.h"

namespace kv {
namespace {

TZipTime Moment() {
  TZipTime t;
  t.local = {2026, 12, 8, 9, 5, 3, 0, 2};
  t.zone_bias_minutes = 0;
  return t;
}
const char kComment[] =
    "Korvane Web Monitor 1.0.0.1\r\nhttps://www.korvane.example/support\r\n\r\n08/12/2026 09:05:03";

std::vector<std::string> Names(const ziptest::Archive& archive) {
  std::vector<std::string> names;
  for (const auto& e : archive.entries) names.push_back(e.name);
  return names;
}

TEST(SupportArchive, NonEmptyTextsBecomeMembersInTheirFixedOrder) {
  struct Row {
    SupportArchiveTexts texts;
    std::vector<std::string> names;
  };
  const std::vector<Row> rows = {
      {{"C", "S", "T", "L", "Z"},
       {"get_config.txt", "get_smartstats.txt", "get_logs_stats.txt", "get_status.txt", "get_logs_cache.txt"}},
      {{"config only", "", "", "", ""}, {"get_config.txt"}},
      {{"", "", "tasks", "", "cache"}, {"get_status.txt", "get_logs_cache.txt"}},
      {{"", "", "", "", ""}, {}},
  };
  for (const Row& row : rows) {
    std::string zip = "left over from before";
    WriteSupportArchive(row.texts, "1.0.0.1", Moment(), zip);
    const ziptest::Archive archive = ziptest::Parse(zip);
    EXPECT_EQ(Names(archive), row.names);
    EXPECT_EQ(archive.comment, kComment);
    for (const auto& entry : archive.entries) {
      SCOPED_TRACE(entry.name);
      EXPECT_EQ(entry.method, 8);
      EXPECT_EQ(entry.flags, 0);
      EXPECT_EQ(entry.date, ((2026 - 1980) << 9) | (12 << 5) | 8);
      const std::string_view want = entry.name == "get_config.txt"       ? row.texts.config
                                : entry.name == "get_smartstats.txt" ? row.texts.smart
                                : entry.name == "get_logs_stats.txt" ? row.texts.stat
                                : entry.name == "get_status.txt"     ? row.texts.task
                                                                     : row.texts.cache;
      EXPECT_EQ(ziptest::Extract(zip, entry), want);
    }
  }
}

TEST(SupportArchive, BeforeAnyCollectionItIsAValidEmptyArchiveWithTheComment) {
  std::string zip;
  WriteSupportArchive({}, "1.0.0.1", Moment(), zip);
  EXPECT_EQ(zip, std::string("PK\x05\x06", 4) + std::string(16, '\0') +
                     std::string(1, static_cast<char>(sizeof kComment - 1)) + std::string(1, '\0') + kComment);
  const ziptest::ReaderVerdict verdict = ziptest::CheckWithRealReaders(zip, {}, kComment);
  if (verdict.available) {
    EXPECT_EQ(verdict.failures, "");
  }
}

// The HTTP thread stamps the archive from the local Unix seconds the collection hands it.
TEST(SupportArchive, StampedFromLocalSecondsLikeTheSameMoment) {
  const int64_t seconds = 20795 * int64_t{86400} + 9 * 3600 + 5 * 60 + 3;  // 2026-12-08 09:05:03
  for (int bias : {0, -120, 300}) {
    TZipTime moment = Moment();
    moment.zone_bias_minutes = bias;
    const SupportArchiveTexts texts{"C", "S", "T", "L", "Z"};
    std::string by_moment, by_seconds;
    WriteSupportArchive(texts, "1.0.0.1", moment, by_moment);
    WriteSupportArchive(texts, "1.0.0.1", seconds, bias, by_seconds);
    EXPECT_EQ(by_seconds, by_moment) << bias;
  }
  const platform::LocalDateTime local = TZipTime::OfLocalSeconds(seconds, 0).local;
  EXPECT_EQ(local.day_of_week, Moment().local.day_of_week);
}

TEST(SupportArchive, CommentCarriesVersionAddressAndZeroPaddedTime) {
  EXPECT_EQ(SupportArchiveComment("", {2027, 1, 2, 3, 4, 5, 0, 6}),
            "Korvane Web Monitor \r\nhttps://www.korvane.example/support\r\n\r\n02/01/2027 03:04:05");
}

std::string ReadFixture(const std::string& rel) {
  std::ifstream in(std::filesystem::path(KV_FIXTURES_DIR) / rel, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Real utility outputs go in and come back out of every reader byte for byte, so they can
// be replayed as file sources.
TEST(SupportArchive, RealReadersReturnTheCapturedOutputsUnchanged) {
  if (!std::filesystem::exists(KV_FIXTURES_DIR)) GTEST_SKIP() << "no fixtures";
  const std::string config = ReadFixture("real/config/06-3154-16i.txt");
  const std::string task = ReadFixture("real/task/01-6405-buildverify.txt");
  ASSERT_FALSE(config.empty());
  ASSERT_FALSE(task.empty());
  SupportArchiveTexts texts;
  texts.config = config;
  texts.task = task;
  std::string zip;
  WriteSupportArchive(texts, "1.0.0.1", Moment(), zip);
  const ziptest::ReaderVerdict verdict = ziptest::CheckWithRealReaders(
      zip, {{"get_config.txt", config}, {"get_status.txt", task}}, kComment);
  if (!verdict.available) GTEST_SKIP() << "no ZIP readers on this system";
  EXPECT_EQ(verdict.failures, "");
}

}  // namespace
}  // namespace kv
