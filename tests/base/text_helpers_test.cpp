// The text helpers every parser splits its lines with.
#include <gtest/gtest.h>

#include <climits>

#include "base/text_helpers.h"

namespace kv {
namespace {

TEST(TextHelpers, ToIntAcceptsOnlyAWholeSigned32BitNumber) {
  struct Row {
    const char* text;
    int32_t expected;
  } rows[] = {
      {"0", 0},           {"42", 42},           {"  42", 42},         {"+7", 7},
      {"-7", -7},         {"007", 7},           {"42 ", -99},         {"4 2", -99},
      {"", -99},          {"-", -99},           {"+", -99},           {" ", -99},
      {"1a", -99},        {"0x10", -99},        {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},               {"2147483648", -99},  {"-2147483649", -99},
      {"99999999999999999999", -99},            {"\t5", -99},         {"--5", -99},
  };
  for (const Row& row : rows) EXPECT_EQ(ToInt(row.text, -99), row.expected) << row.text;
}

TEST(TextHelpers, BeforeAfterTrimAndUnderscores) {
  EXPECT_EQ(TextBefore("a: b: c", ": "), "a");
  EXPECT_EQ(TextAfter("a: b: c", ": "), "b: c");
  EXPECT_EQ(TextBefore("abc", ": "), "abc");  // separator absent: the whole text
  EXPECT_EQ(TextAfter("abc", ": "), "abc");
  EXPECT_EQ(TextAfter("abc: ", ": "), "");
  EXPECT_EQ(TrimBlanks("  a b \t "), "a b \t");  // only 0x20 is trimmed
  EXPECT_EQ(TrimBlanks("   "), "");
  EXPECT_EQ(TrimControls("\r\n\t a b \x01"), "a b");
  EXPECT_EQ(BlanksToUnderscores("data 1__raid 5 "), "data_1__raid_5_");
}

TEST(TextHelpers, SplitLinesAtCrLfOrCrLf) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(SplitLines(""), Lines{});
  EXPECT_EQ(SplitLines("a"), Lines{"a"});
  EXPECT_EQ(SplitLines("a\n"), Lines{"a"});
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("\n\r\n\r"), (Lines{"", "", ""}));
  EXPECT_EQ(SplitLines("a\n\rb"), (Lines{"a", "", "b"}));  // LF CR is two line ends
  EXPECT_EQ(SplitLines(std::string("a\0b\n", 4)), Lines{std::string("a\0b", 3)});
}

}  // namespace
}  // namespace kv
