// List semantics of the model that the parsers and the report rely on.
#include <gtest/gtest.h>

#include "model/kv_core.h"

namespace kv {
namespace {

TEST(ModelLists, BlockListIndexOfComparesTheLowerCasedNumberExactly) {
  TKVEnclosureList list;
  list.Add().Number = "a1";
  list.Add().Number = "7";
  list.Add().Number = "7";
  EXPECT_EQ(list.IndexOf("A1"), 0);
  EXPECT_EQ(list.IndexOf("7"), 1);  // the first of equal numbers
  EXPECT_EQ(list.IndexOf("07"), -1);
  EXPECT_EQ(list.IndexOf(""), -1);
  TKVEnclosureItem& added = list.Add();
  EXPECT_EQ(added.Number, "");
  EXPECT_EQ(added.Info.Count() + added.StatusInfo.Count(), 0);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(ModelLists, SmartParamsFindOrAddAndHexIds) {
  TKVSATASmartParamsList list;
  auto& a = list.FindOrAdd("0", "3");
  a.Params->Add("c2", "100", "100", "45");
  EXPECT_EQ(&list.FindOrAdd("0", "3"), &a);
  EXPECT_NE(&list.FindOrAdd("0", "03"), &a);  // exact text comparison
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(a.Params->Channel, "0");
  EXPECT_EQ(a.Params->Item(0).Id, 194);
  struct Row {
    const char* text;
    int32_t id;
  } rows[] = {{"", 0}, {"05", 5}, {"C2", 194}, {"ff", 255}, {"g1", -1}, {"ffffffff", -1},
              {"1 ", -1}};
  for (const Row& row : rows) EXPECT_EQ(SmartHexId(row.text), row.id) << row.text;
}

TEST(ModelLists, StatisticsLookups) {
  TKVStatsCache cache;
  cache.Add().SerialNumber = "abc12";
  cache.Add().SerialNumber = "ABC12";
  cache.Add().SerialNumber = "zzz";
  EXPECT_EQ(cache.FindBySerial("  ABC12 "), &cache.Item(1));  // searched from the end
  EXPECT_EQ(cache.FindBySerial("abc"), nullptr);

  TKVStatsLDParams lds;
  TKVStatsLDP rec;
  rec.Id = 2;
  rec.SsdHitReads = "0";
  rec.SsdHitWrites = "0";
  lds.Add(rec);
  rec.Id = 3;
  rec.SsdHitWrites = "";
  lds.Add(rec);
  EXPECT_FALSE(lds.Item(0).HasSsdActivity);
  EXPECT_TRUE(lds.Item(1).HasSsdActivity);
  EXPECT_EQ(lds.IndexOf(3), 1);
  EXPECT_EQ(lds.IndexOf(4), -1);
}

}  // namespace
}  // namespace kv
