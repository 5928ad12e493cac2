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

TEST(DrivePageCache, FirstOfTwoEqualKeysWinsAndSwapExchangesItems) {
  THDDHTMLCacheList cache("v", "", "");
  cache.Add("0_1", "s", "first");
  cache.Add("0_1", "s", "second");
  EXPECT_EQ(cache.Get("0_1"), " first ");
  THDDHTMLCacheList fresh("other", "ignored", "ignored");
  fresh.Add("0_1", "", "new");
  cache.Swap(fresh);
  EXPECT_EQ(cache.Count(), 1);
  EXPECT_EQ(fresh.Count(), 2);
  EXPECT_EQ(cache.Get("0_1"), " new ") << "header, end and version stay with the list";
}

TEST(DrivePageCache, HeaderAndEndComeFromTheEmbeddedTemplates) {
  THDDHTMLCacheList cache("9.9.9.9", test::EmbeddedFiles());
  cache.Add("-1_-1", "", "BODY");
  const std::string page = cache.Get("-1_-1");
  EXPECT_NE(page.find(" BODY "), std::string::npos);
  EXPECT_NE(page.find("version: 9.9.9.9"), std::string::npos);
  EXPECT_EQ(page.find("@u@"), std::string::npos);
  EXPECT_GT(page.find(" BODY "), 0u) << "the header comes first";
}

}  // namespace
}  // namespace kv
