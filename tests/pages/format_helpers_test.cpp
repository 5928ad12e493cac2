// Formatting helpers shared by the pages, the report and the status text.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "pages/format_helpers.h"

namespace kv {
namespace {

TEST(FormatSize, UnitThresholdsAreStrict) {
  const struct {
    int64_t bytes;
    const char* text;
  } cases[] = {
      {0, "0 b"},
      {-5, "-5 b"},
      {1024, "1024 b"},
      {1025, "1.00 Kb"},
      {1536, "1.50 Kb"},
      {1048576, "1024.00 Kb"},
      {1048577, "1.00 Mb"},
      {1073741824, "1024.00 Mb"},
      {5368709120, "5.00 Gb"},
      {999999999999, "931.32 Gb"},
      {INT64_MIN, "-9223372036854775808 b"},
      {INT64_MAX, "8589934592.00 Gb"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatSize(c.bytes), c.text) << c.bytes;
}

TEST(FormatFixed, RoundsNoiseAwayThenHalvesAwayFromZero) {
  const struct {
    int decimals;
    double value;
    const char* text;
  } cases[] = {
      {2, 1.5, "1.50"},
      {2, 1.125, "1.13"},
      {2, -1.125, "-1.13"},
      {2, 1.0049999999, "1.01"},  // noise below the fourth decimal is dropped first
      {2, 0.1 + 0.2, "0.30"},
      {0, 2.5, "3"},
      {0, 0.4, "0"},
      {2, -0.001, "0.00"},
      {4, 3.14159, "3.1416"},
      {6, 1.5, "1.500000"},
      {1, 0.00004, "0.0"},
      {2, 123456789.0, "123456789.00"},
      {2, 1e20, "100000000000000000000.00"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatFixed(c.decimals, c.value), c.text) << c.value;
}

TEST(FormatFixed, IgnoresTheLocaleDecimalSeparator) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "German_Germany.1252"))
    GTEST_SKIP() << "no locale with a decimal comma here";
  EXPECT_EQ(FormatFixed(2, 1.5), "1.50");
  EXPECT_EQ(FormatSize(1536), "1.50 Kb");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

// HtmlEscapeAll, for the utility's texts, differs only in the ampersand.
TEST(HtmlEscape, EscapesMarkupButNotTheAmpersand) {
  const struct {
    const char* in;
    const char* out;
    const char* all;
  } cases[] = {
      {"a<b&c", "a&lt;b&c", "a&lt;b&amp;c"},
      {"<script>", "&lt;script&gt;", "&lt;script&gt;"},
      {"say \"hi\"", "say &quot;hi&quot;", "say &quot;hi&quot;"},
      {"C:\\dir", "C:&#92;dir", "C:&#92;dir"},
      {"it's", "it&#39;s", "it&#39;s"},
      {"&lt;", "&lt;", "&amp;lt;"},
      {"", "", ""},
      {"\xC4\xE8\xF1\xEA", "\xC4\xE8\xF1\xEA", "\xC4\xE8\xF1\xEA"},
      {"&&'<>\"\\&", "&&&#39;&lt;&gt;&quot;&#92;&", "&amp;&amp;&#39;&lt;&gt;&quot;&#92;&amp;"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HtmlEscape(c.in), c.out) << c.in;
    EXPECT_EQ(HtmlEscapeAll(c.in), c.all) << c.in;
  }
  EXPECT_EQ(DashIfEmpty(""), "-");
  EXPECT_EQ(DashIfEmpty(" "), " ");
  EXPECT_EQ(DashIfEmpty("x"), "x");
}

}  // namespace
}  // namespace kv
