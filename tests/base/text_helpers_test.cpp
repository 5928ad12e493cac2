// The text helpers every parser splits its lines with, and size texts in megabytes.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

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

TEST(TextHelpers, SizeToMegabytesRoundsHalfToEvenAndRefusesWhatIsNotAPositiveSize) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"139236 MB", "139236"}, {"2 TB", "2097152"}, {"512 KB", "0"},   {"1536 KB", "2"},
      {"1.5 GB", "1536"},      {"0 MB", ""},        {"MB", ""},        {"1,234 MB", "1"},
      {"2.5 MB", "2"},         {"3.5 MB", "4"},     {".", ""},         {"", ""},
      {"5. gb", "5120"},       {"  7\t\tG B ", "7"}, {"1.2.3 MB", "1"}, {"9e9999 TB", "99999"},
      {"99999999999999999999999 TB", ""}};
  for (const auto& [in, out] : cases) EXPECT_EQ(SizeToMegabytes(in), out) << in;
}

}  // namespace
}  // namespace kv
