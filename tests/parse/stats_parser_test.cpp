// Controller-log and cache statistics parsers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/kv_core.h"
#include "parse/stats_parser.h"

namespace kv {
namespace {

std::string Log(const std::string& header, const std::string& body) {
  return "<ControllerLog " + header + " >\r\n" + body + "</ControllerLog>\r\n";
}
const std::string kHeader = "deviceName=\"Ctrl A\" time=\"1765200000\" serialNumber=\"ABC12\"";
const std::string kCache =
    "  <CacheStatistics>\r\n"
    "   <UncachedIOs uncachedReads=\"1\" uncachedWrites=\"2\" />\r\n"
    "   <DramCacheStats dramFullHitReads=\"3\" dramWaitHitReads=\"4\" dramHybridHitReads=\"5\" "
    "dramCacheWrites=\"6\" dramFlushWaitWrites=\"7\" dramCacheFlushes=\"8\" />\r\n"
    "   <SsdCacheStats ssdHitReads=\"0\" ssdHitWrites=\"0\" ssdPageUpdates=\"9\" "
    "ssdPageDirectAllocations=\"10\" ssdFetches=\"11\" ssdFlushes=\"12\" "
    "ssdCacheValidPages=\"13\" ssdCacheDirtyPages=\"14\" />\r\n"
    "  </CacheStatistics>\r\n";

TEST(StatsParser, LogicalDriveTrafficUnitsAndCacheCounters) {
  TKVCore core;
  ParseLogStats(Log(
 kHeader,
 " <ControllerStats statsVersion=\"3\" secondsSinceLastUpdate=\"86400\" >\r\n"
 " </ControllerStats>\r\n"
 " <LogicalDriveStats id=\"0\" numReads=\"10\" numWrites=\"5\" ttlBlkReadGB=\"12\" "
 "ttlBlkWriteMB=\"700\" >\r\n" + kCache + " </LogicalDriveStats>\r\n"
 " <LogicalDriveStats id=\"1\" ttlBlkRead=\"9\" ttlBlkReadKB=\"1536\" >\r\n"
 " </LogicalDriveStats>\r\n"
 " <LogicalDriveStats numReads=\"1\" >\r\n </LogicalDriveStats>\r\n"
 " <LogicalDriveStats id=\"x\" >\r\n  <CacheStatistics>\r\n"
 "   <UncachedIOs uncachedReads=\"1\" />\r\n  </CacheStatistics>\r\n"
 " </LogicalDriveStats>\r\n"), core);
  const TKVStats& st = core.Stats;
  EXPECT_EQ(st.DeviceName, "ctrl a");
  EXPECT_EQ(st.SerialNumber, "abc12");
  EXPECT_EQ(st.Time, 1765200000);
  EXPECT_EQ(st.StatsVersion, "3");
  EXPECT_EQ(st.SecondsSinceLastUpdate, 86400);
  ASSERT_EQ(st.LDStats.Count(), 3) << "the drive without an id is dropped";

  const TKVStatsLDP& a = st.LDStats.Item(0);
  EXPECT_EQ(a.Id, 0);
  EXPECT_EQ(a.NumReads, "10");
  EXPECT_EQ(a.NumWrites, "5");
  EXPECT_EQ(a.BlocksRead, "12");
  EXPECT_EQ(a.BlocksReadUnit, "GB");
  EXPECT_EQ(a.BlocksWritten, "700");
  EXPECT_EQ(a.BlocksWrittenUnit, "MB");
  EXPECT_EQ(a.UncachedReads, "1");
  EXPECT_EQ(a.DramCacheFlushes, "8");
  EXPECT_EQ(a.SsdPageUpdates, "9");
  EXPECT_EQ(a.SsdCacheDirtyPages, "14");
  EXPECT_FALSE(a.HasSsdActivity) << "both ssd hit counters are 0";

  const TKVStatsLDP& b = st.LDStats.Item(1);
  EXPECT_EQ(b.BlocksRead, "1536");
  EXPECT_EQ(b.BlocksReadUnit, "KB") << "a unit-less total is read and dropped";
  EXPECT_EQ(b.UncachedReads, "") << "no cache statistics: counters stay empty after a drive with some";
  EXPECT_EQ(b.SsdHitReads, "");
  EXPECT_TRUE(b.HasSsdActivity) << "empty counters count as activity";

  const TKVStatsLDP& c = st.LDStats.Item(2);
  EXPECT_EQ(c.Id, -1) << "an id that is not a number";
  EXPECT_EQ(c.UncachedReads, "") << "uncached counters need the dram element beside them";
}

TEST(StatsParser, PhysicalDrivesAreNumberedFromZero) {
  TKVCore core;
  ParseLogStats(Log(
 kHeader,
 " <PhysicalDriveStats channel=\"0\" id=\"4\" senseKey4Cnt=\"1\" mediumErrCnt=\"2\" "
 "parityErrCnt=\"3\" linkFailCnt=\"4\" abortedCmdCnt=\"5\" smartWarnCnt=\"6\" />\r\n"
 " <PhysicalDriveStats channel=\"0\" mediumErrCnt=\"9\" />\r\n"
 " <PhysicalDriveStats channel=\"1\" id=\"2\" />\r\n"), core);
  ASSERT_EQ(core.Stats.PhysStats.Count(), 2);
  const TKVStatsPhysP& p = core.Stats.PhysStats.Item(0);
  EXPECT_EQ(p.Channel, "0");
  EXPECT_EQ(p.Id, "4");
  EXPECT_EQ(p.SenseKey4Count, "1");
  EXPECT_EQ(p.MediumErrorCount, "2");
  EXPECT_EQ(p.ParityErrorCount, "3");
  EXPECT_EQ(p.LinkFailCount, "4");
  EXPECT_EQ(p.AbortedCommandCount, "5");
  EXPECT_EQ(p.SmartWarningCount, "6");
  EXPECT_EQ(core.Stats.PhysStats.IndexOf("2", "1"), 1);
}

TEST(StatsParser, ControllerTimeOnlyWhenPositive) {
  const std::pair<std::string, int32_t> cases[] = {
      {"0", 0}, {"-5", 0}, {"abc", 0}, {"1765200000", 1765200000},
      {"4294967296", 0} /* low 32 bits */, {"4294967297", 1}, {"99999999999999999999", 0}};
  for (const auto& [time, expected] : cases) {
    TKVCore core;
    ParseLogStats(Log("deviceName=\"D\" time=\"" + time + "\" serialNumber=\"S\"", ""), core);
    EXPECT_EQ(core.Stats.Time, expected) << time;
  }
}

// What both parsers kept from one text, to compare two spellings of the same statistics.
std::string ReadBoth(const std::string& text) {
  TKVCore core;
  ParseLogStats(text, core);
  ParseCacheStats(text, core);
  const TKVStats& st = core.Stats;
  std::string out = st.DeviceName + "|" + std::to_string(st.Time) + "|" + st.StatsVersion + "|" +
                    std::to_string(st.SecondsSinceLastUpdate) + "\n";
  for (int i = 0; i < st.LDStats.Count(); ++i) {
    const TKVStatsLDP& l = st.LDStats.Item(i);
    out += std::to_string(l.Id) + "|" + l.NumReads + "|" + l.BlocksRead + l.BlocksReadUnit + "|" +
           l.UncachedWrites + "|" + l.DramCacheFlushes + "|" + l.SsdCacheDirtyPages + "\n";
  }
  for (int i = 0; i < st.PhysStats.Count(); ++i) {
    const TKVStatsPhysP& p = st.PhysStats.Item(i);
    out += p.Channel + "," + p.Id + "|" + p.MediumErrorCount + "|" + p.SmartWarningCount + "\n";
  }
  for (int i = 0; i < core.StatsCache.Count(); ++i) {
    const TKVStatsCacheItem& c = core.StatsCache.Item(i);
    out += c.SerialNumber + "|" + c.StatsVersion + "|" + std::to_string(c.SecondsSinceLastUpdate) +
           "|" + std::to_string(c.SsdCachePages) + "|" + std::to_string(c.CandidateReplacements) +
           "|" + c.UncachedReads + "|" + c.SsdHitWrites + "\n";
  }
  return out;
}

TEST(StatsParser, EmptyElementsReadAlikeInBothSpellings) {
  const std::string pd =
      " <PhysicalDriveStats channel=\"0\" id=\"4\" mediumErrCnt=\"2\" smartWarnCnt=\"6\" />\r\n"
      " <PhysicalDriveStats channel=\"1\" id=\"5\" mediumErrCnt=\"7\"/>\r\n";
  const std::string ld =
      " <LogicalDriveStats id=\"0\" numReads=\"10\" >\r\n" + kCache + " </LogicalDriveStats>\r\n";
  const std::string ld1 = " <LogicalDriveStats id=\"1\" numReads=\"3\" ttlBlkReadMB=\"5\"";
  const std::string overall =
      " <OverallSsdCacheStats ssdCachePages=\"1024\" candidateReplacements=\"2\"";
  std::string cache_pairs = kCache;
  for (const std::string name : {"UncachedIOs", "DramCacheStats", "SsdCacheStats"}) {
    const size_t at = cache_pairs.find("<" + name);
    const size_t end = cache_pairs.find(" />", at);
    cache_pairs.replace(end, 3, " >\r\n   </" + name + ">");
  }
  struct Case {
    std::string what, usual, other;
  };
  const std::vector<Case> cases = {
      {"controller statistics self-closing",
       " <ControllerStats statsVersion=\"3\" secondsSinceLastUpdate=\"86400\" >\r\n"
       " </ControllerStats>\r\n" + ld,
       " <ControllerStats statsVersion=\"3\" secondsSinceLastUpdate=\"86400\"/>\r\n" + ld},
      {"a logical drive self-closing between two pairs",
       ld + ld1 + " >\r\n </LogicalDriveStats>\r\n" + ld,
       ld + ld1 + " />\r\n" + ld},
      {"cache counters as empty pairs",
       ld, " <LogicalDriveStats id=\"0\" numReads=\"10\" >\r\n" + cache_pairs +
               " </LogicalDriveStats>\r\n"},
      {"a physical drive as an empty pair before the usual form", pd,
       " <PhysicalDriveStats channel=\"0\" id=\"4\" mediumErrCnt=\"2\" smartWarnCnt=\"6\">"
       "\r\n </PhysicalDriveStats >\r\n"
       " <PhysicalDriveStats channel=\"1\" id=\"5\" mediumErrCnt=\"7\"/>\r\n"},
      {"zepCache totals as an empty pair", overall + " />\r\n" + ld,
       overall + ">\r\n </OverallSsdCacheStats>\r\n" + ld},
  };
  for (const auto& c : cases) {
    const std::string usual = ReadBoth(Log(kHeader, c.usual));
    EXPECT_NE(usual, ReadBoth(Log(kHeader, ""))) << c.what;
    EXPECT_EQ(ReadBoth(Log(kHeader, c.other)), usual) << c.what;
  }
  EXPECT_EQ(ReadBoth("<ControllerLog " + kHeader + " />"), ReadBoth(Log(kHeader, "")))
      << "a controller without statistics, self-closing";
}

TEST(StatsParser, CacheStatisticsPerController) {
  TKVCore core;
  ParseCacheStats(
      Log(kHeader,
          " <ControllerStats statsVersion=\"2\" secondsSinceLastUpdate=\"60\" >\r\n"
          " </ControllerStats>\r\n"
          " <OverallSsdCacheStats ssdCachePages=\"1024\" pagesOnFetchList=\"3\" "
          "pagesOnDirtyList=\"4\" pagesOnFailedList=\"x\" fetchCandidates=\"9\" "
          "candidateReplacements=\"2\" />\r\n"
          " <LogicalDriveStats id=\"0\" >\r\n" + kCache + " </LogicalDriveStats>\r\n") +
      Log("deviceName=\"No Serial\" time=\"5\"",
          " <OverallSsdCacheStats ssdCachePages=\"7\" />\r\n"
          " <LogicalDriveStats id=\"0\" >\r\n" + kCache + " </LogicalDriveStats>\r\n") +
      Log("deviceName=\"Ctrl B\" serialNumber=\"XYZ\"",
          " <LogicalDriveStats id=\"0\" >\r\n" + kCache + " </LogicalDriveStats>\r\n"
          " <LogicalDriveStats id=\"1\" >\r\n </LogicalDriveStats>\r\n"), core);
  ASSERT_EQ(core.StatsCache.Count(), 2) << "a controller without a serial number is skipped";
  const TKVStatsCacheItem& a = core.StatsCache.Item(0);
  EXPECT_EQ(a.StatsVersion, "2");
  EXPECT_EQ(a.SecondsSinceLastUpdate, 60);
  EXPECT_EQ(a.Time, 1765200000);
  EXPECT_EQ(a.SsdCachePages, 1024);
  EXPECT_EQ(a.PagesOnFetchList, 3);
  EXPECT_EQ(a.PagesOnDirtyList, 4);
  EXPECT_EQ(a.PagesOnFailedList, 0);
  EXPECT_EQ(a.FetchCandidates, 9);
  EXPECT_EQ(a.CandidateReplacements, 2);
  EXPECT_EQ(a.DramWaitHitReads, "4");
  EXPECT_FALSE(a.HasSsdActivity);
  const TKVStatsCacheItem& b = core.StatsCache.Item(1);
  EXPECT_EQ(b.SsdCachePages, 0);
  EXPECT_EQ(b.UncachedReads, "") << "the last logical drive's (empty) counters win";
  EXPECT_TRUE(b.HasSsdActivity);

  ASSERT_NE(core.StatsCache.FindBySerial("  ABC12 "), nullptr);
  EXPECT_EQ(core.StatsCache.FindBySerial("  ABC12 ")->DeviceName, "ctrl a");
  EXPECT_EQ(core.StatsCache.FindBySerial("nothing"), nullptr);

  ParseCacheStats("", core);
  EXPECT_EQ(core.StatsCache.Count(), 0) << "a new parse starts empty";
}

}  // namespace
}  // namespace kv
