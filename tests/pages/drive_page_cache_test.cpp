// The drive page cache: look-up by key or serial number in any letter case, the fallback
// to the empty frame, the footer mark and the empty text before the first refresh.
#include <gtest/gtest.h>

#include <string>

#include "pages/drive_page_cache.h"
#include "pages/page_rows.h"
#include "test_files.h"

namespace kv {
namespace {

THDDHTMLCacheItem Item(const std::string& key, const std::string& alt, const std::string& body,
                       const std::string& updated) {
  return THDDHTMLCacheItem{key, alt, body, updated};
}

TEST(DrivePageCache, LookupByKeyOrSerialInAnyCaseWithFallbackToFrame) {
  THDDHTMLCacheList cache("1.2.3.4", "H", "E[@u@]");
  EXPECT_EQ(cache.Get("0_1"), "") << "before the first refresh";
  EXPECT_EQ(cache.Get("-1_-1"), "");

  cache.AddStamped(Item("0_1", "wd-abc123", "drive1", "10:00:00 01/02/2025"));
  cache.AddStamped(Item("0_2", "", "noserial", "10:00:01 01/02/2025"));
  EXPECT_EQ(cache.Get("0_2"), "H noserial E[" + FooterLine("10:00:01 01/02/2025", "1.2.3.4") + "]");
  EXPECT_EQ(cache.Get("nothing"), "") << "the frame is not there yet";
  cache.AddStamped(Item("-1_-1", "", "frame", "10:00:02 01/02/2025"));

  const std::string drive1 = "H drive1 E[" + FooterLine("10:00:00 01/02/2025", "1.2.3.4") + "]";
  const std::string frame = "H frame E[" + FooterLine("10:00:02 01/02/2025", "1.2.3.4") + "]";
  const struct {
    const char* key;
    const std::string* page;
  } cases[] = {{"0_1", &drive1},      {"WD-ABC123", &drive1}, {"wd-AbC123", &drive1},
               {"0_3", &frame},       {"-1_-1", &frame},      {"", &frame},
               {"wd-abc12", &frame}};
  for (const auto& c : cases) EXPECT_EQ(cache.Get(c.key), *c.page) << c.key;

  cache.Clear();
  EXPECT_EQ(cache.Get("0_1"), "");
}

TEST(DrivePageCache, FooterMarkReplacedEverywhereInAnyCase) {
  const std::string footer = FooterLine("u<1>", "v&2");
  EXPECT_EQ(footer, "<SPAN style=\"font-size: 10px\">Updated: u&lt;1&gt;<br>version: v&2</SPAN>");
  const struct {
    const char* end;
    std::string page;
  } cases[] = {
      {"no mark", "h b no mark"},
      {"@u@|@U@", "h b " + footer + "|" + footer},
      {"@u@@", "h b " + footer + "@"},
      {"@u", "h b @u"},
  };
  for (const auto& c : cases) {
    THDDHTMLCacheList cache("v&2", "h", c.end);
    cache.AddStamped(Item("-1_-1", "", "b", "u<1>"));
    EXPECT_EQ(cache.Get("x"), c.page) << c.end;
  }
}

TEST(DrivePageCache, FirstOfTwoEqualKeysWins) {
  THDDHTMLCacheList cache("v", "", "");
  cache.Add("0_1", "s", "first", 0);
  cache.Add("0_1", "s", "second", 0);
  EXPECT_EQ(cache.Get("0_1"), " first ");
}

TEST(DrivePageCache, RefreshReplacesPagesInPlaceAndEndsWithTheNewSetInItsOrder) {
  THDDHTMLCacheList cache("v", "", "");
  cache.Add("0_1", "a", "old 1", 0);
  cache.Add("0_2", "b", "old 2", 0);
  cache.Add("0_3", "c", "old 3", 0);
  // The new set: 0_3 moved first, 0_2 is gone, 0_4 is new, and 0_1 comes twice.
  EXPECT_EQ(cache.Refresh(Item("0_3", "c", "new 3", "u")).Body, "old 3");
  EXPECT_EQ(cache.Get("0_3"), " new 3 ");
  EXPECT_EQ(cache.Get("0_2"), " old 2 ") << "pages not yet refreshed are still served";
  EXPECT_EQ(cache.Refresh(Item("0_1", "c", "new 1", "u")).Body, "old 1");  // same serial as 0_3
  EXPECT_EQ(cache.Refresh(Item("0_4", "d", "new 4", "u")).Body, "");
  EXPECT_EQ(cache.Refresh(Item("0_1", "a", "again 1", "u")).Body, "");
  cache.EndRefresh();
  EXPECT_EQ(cache.Count(), 4);
  EXPECT_EQ(cache.Get("B"), "") << "0_2 is gone, and so is the frame it would fall back to";
  EXPECT_EQ(cache.Get("0_1"), " new 1 ") << "the first of two equal keys, as in a list built anew";
  EXPECT_EQ(cache.Get("D"), " new 4 ");
  EXPECT_EQ(cache.Get("C"), " new 3 ") << "a shared serial finds the first page of the new order";

  // The next set starts afresh: a page left out of it is dropped.
  cache.Refresh(Item("0_4", "d", "newer 4", "u"));
  cache.EndRefresh();
  EXPECT_EQ(cache.Count(), 1);
  EXPECT_EQ(cache.Get("0_3"), "");
}

TEST(DrivePageCache, HeaderAndEndComeFromTheEmbeddedTemplates) {
  THDDHTMLCacheList cache("9.9.9.9", test::EmbeddedFiles());
  cache.Add("-1_-1", "", "BODY", 1738404000);
  const std::string page = cache.Get("-1_-1");
  EXPECT_NE(page.find(" BODY "), std::string::npos);
  EXPECT_NE(page.find("Updated: 10:00:00 01/02/2025<br>version: 9.9.9.9"), std::string::npos);
  EXPECT_EQ(page.find("@u@"), std::string::npos);
  EXPECT_GT(page.find(" BODY "), 0u) << "the header comes first";
}

}  // namespace
}  // namespace kv
