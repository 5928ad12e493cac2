#include "base/ini_file.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kv {
namespace {

TEST(IniFile, ReadsIntegersInDecimalAndBothHexForms) {
  struct Row {
    const char* value;
    int64_t expected;
  } rows[] = {
      {"31313", 31313}, {"0x7A51", 31313}, {"0X7a51", 31313}, {"$7A51", 31313},
      {"-5", -5},       {"abc", 77},       {"", 77},          {"0x", 77},
      {"12abc", 77},    {" 42 ", 42},      {"0", 0},
  };
  for (const Row& row : rows) {
    TMemIniFile ini(std::string("[http]\nport=") + row.value + "\n");
    EXPECT_EQ(ini.ReadInteger("http", "port", 77), row.expected) << row.value;
  }
}

TEST(IniFile, LastKeyAndLastSectionWinWithoutRegardToCase) {
  TMemIniFile ini(
      "port=1\n"            // before any section: ignored
      "[HTTP]\nport=2\nuse=0\n"
      "; comment\n"
      "[scaner]\ntimeout=5\nTIMEOUT=6\n"
      "[http]\r\nPort = 3\r\n");
  EXPECT_EQ(ini.ReadInteger("http", "port", 0), 3);
  EXPECT_TRUE(ini.ReadBool("http", "use", true));  // the earlier [HTTP] is gone
  EXPECT_EQ(ini.ReadInteger("Scaner", "timeout", 0), 6);
  EXPECT_TRUE(ini.SectionExists("SCANER"));
  EXPECT_FALSE(ini.SectionExists("source"));
}

TEST(IniFile, BooleansAreIntegersAndStringsAreTrimmed) {
  TMemIniFile ini("[a]\nyes=2\nno=0\nbad=x\n  str =  c:\\tool.exe  -list  \nbare\n[empty]\n");
  EXPECT_TRUE(ini.ReadBool("a", "yes", false));
  EXPECT_FALSE(ini.ReadBool("a", "no", true));
  EXPECT_TRUE(ini.ReadBool("a", "bad", true));
  EXPECT_FALSE(ini.ReadBool("a", "bad", false));
  EXPECT_EQ(ini.ReadString("a", "str", ""), "c:\\tool.exe  -list");
  EXPECT_EQ(ini.ReadString("a", "bare", "d"), "");
  EXPECT_EQ(ini.ReadString("a", "missing", "d"), "d");
  EXPECT_FALSE(ini.SectionExists("empty"));
}

TEST(IniFile, CopiesAndReloadsKeepTheirOwnText) {
  // Short texts live inside the string object itself; a reader that pointed into its
  // source, or into a buffer that moved, would read freed or reused memory here.
  std::string text = "[s]\nk=v\n";
  auto original = std::make_unique<TMemIniFile>(text);
  text.assign(text.size(), 'x');
  TMemIniFile copy = *original;
  TMemIniFile moved = std::move(*original);
  original.reset();
  EXPECT_EQ(copy.ReadString("S", "K", ""), "v");
  EXPECT_EQ(moved.ReadString("s", "k", ""), "v");

  copy.Load("[t]\nk=w\nK=x\nj\n");
  EXPECT_FALSE(copy.SectionExists("s"));
  EXPECT_EQ(copy.ReadSectionKeys("t"), (std::vector<std::string>{"K", "j"}));
  EXPECT_EQ(moved.ReadString("s", "k", ""), "v");  // a copy's reload leaves the other alone

  // A shared text is read in place and kept alive by the reader alone.
  auto shared = std::make_shared<const std::string>("[u]\nempty=\nbare\n");
  moved.Load(shared);
  shared.reset();
  EXPECT_EQ(moved.ReadString("u", "empty", "d"), "");
  EXPECT_EQ(moved.ReadSectionKeys("U"), (std::vector<std::string>{"empty", "bare"}));
  moved.Load(std::shared_ptr<const std::string>());
  EXPECT_FALSE(moved.SectionExists("u"));
}

TEST(IniFile, KeysOfOneSectionDoNotAnswerForAnother) {
  TMemIniFile ini("[a]\nx=1\n[b]\ny=2\n[A]\nz=3\n");
  EXPECT_FALSE(ini.ValueExists("b", "x"));
  EXPECT_FALSE(ini.ValueExists("a", "x"));  // the second [A] replaced the first
  EXPECT_EQ(ini.ReadInteger("a", "z", 0), 3);
  EXPECT_EQ(ini.ReadSectionKeys("b"), std::vector<std::string>{"y"});
}

TEST(IniFile, LargeTextsKeepEveryLastValue) {
  // Thousands of sections and keys, so the look-up tables grow many times over.
  std::string text = "[none]\n[Repeated]\nold=1\n";
  for (int s = 0; s < 400; ++s) {
    text += "[sec_" + std::to_string(s) + "]\n";
    for (int k = 0; k < 8; ++k) text += "key" + std::to_string(k) + "=" + std::to_string(s * 10 + k) + "\n";
    text += "KEY3=last\n";
  }
  text += "[repeated]\nnew=2\n";
  const TMemIniFile ini(text);
  for (int s = 0; s < 400; ++s) {
    const std::string section = "SEC_" + std::to_string(s);
    EXPECT_EQ(ini.ReadInteger(section, "key7", -1), s * 10 + 7) << section;
    EXPECT_EQ(ini.ReadString(section, "key3", ""), "last") << section;
    EXPECT_FALSE(ini.ValueExists(section, "key8")) << section;
  }
  EXPECT_EQ(ini.ReadSectionKeys("sec_0"),
            (std::vector<std::string>{"key0", "key1", "key2", "key4", "key5", "key6", "key7", "KEY3"}));
  EXPECT_FALSE(ini.ValueExists("none", "key0"));
  EXPECT_FALSE(ini.ValueExists("repeated", "old"));
  EXPECT_EQ(ini.ReadInteger("REPEATED", "new", 0), 2);
  EXPECT_FALSE(TMemIniFile("[a]\n[b]\n").ValueExists("a", "x"));  // sections without a single key
}

}  // namespace
}  // namespace kv
