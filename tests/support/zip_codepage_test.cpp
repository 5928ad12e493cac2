// ANSI -> OEM conversion of archive names and comments.
#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"

namespace kv {
namespace {

TEST(ZipCodePage, AsciiPassesAndEveryByteKeepsItsPlace) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::string oem = platform::ConvertAnsiToOem(all);
  ASSERT_EQ(oem.size(), all.size());
  EXPECT_EQ(oem.substr(0, 128), all.substr(0, 128));
  EXPECT_EQ(platform::ConvertAnsiToOem(""), "");
}

TEST(ZipCodePage, RussianPairMapsCyrillicAndMarksWhatCp866Lacks) {
  if (platform::AnsiCodePage() != 1251 || platform::OemCodePage() != 866)
    GTEST_SKIP() << "system code pages are not the Russian pair";
  struct Row {
    const char* ansi;
    const char* oem;
  };
  const Row rows[] = {
      {"\xC0\xDF\xE0\xFF", "\x80\x9F\xA0\xEF"},  // А Я а я
      {"\xA8\xB8", "\xF0\xF1"},                  // Ё ё
      {"\xB9", "\xFC"},                          // №
      {"\x98", "?"},                             // unassigned in Windows-1251
      {"\x80\x88", "??"},                        // Ђ and €: no CP866 counterpart
  };
  for (const Row& r : rows) EXPECT_EQ(platform::ConvertAnsiToOem(r.ansi), r.oem) << r.ansi;
}

}  // namespace
}  // namespace kv
