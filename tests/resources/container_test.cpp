// Container format, name scrambling and the store's look-up rules, on hand-made containers.
#include <gtest/gtest.h>

#include <string>

#include "resources/resource_container.h"
#include "resources/resource_store.h"

namespace kv {
namespace {

uint32_t Le32At(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}

TEST(NameScrambling, MatchesVectorsWorkedOutByHand) {
  struct Case {
    std::string plain;
    TNameScrambleKey key;
    std::string scrambled;
    std::string base64;
  };
  // "ab", key 0x100: key byte 1 -> 0x60; key becomes 0x100 + 0x60 = 0x160, byte 1 -> 0x63.
  // "AB", key 0xFFFFFF00 * 3 + 5: byte 0xFF -> 0xBE; key (0xFFFFFFBE * 3 + 5) wraps to
  // 0xFFFFFF3F, byte 0xFF -> 0xBD. Base64 of BE BD is "vr0=".
  const Case cases[] = {
      {"ab", {0x100, 1, 0}, "\x60\x63", "YGM="},
      {"AB", {0xFFFFFF00u, 3, 5}, "\xBE\xBD", "vr0="},
      {"", {0x12345678, 7, 9}, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.plain);
    EXPECT_EQ(ScrambleName(c.plain, c.key), c.scrambled);
    EXPECT_EQ(UnscrambleName(c.scrambled, c.key), c.plain);
    EXPECT_EQ(Base64Encode(c.scrambled), c.base64);
    EXPECT_EQ(Base64Decode(c.base64), c.scrambled);
  }
}

TEST(NameScrambling, Base64ReadingStopsAtFirstPadAndSkipsForeignCharacters) {
  EXPECT_EQ(Base64Decode("YWJj=ZGVm"), "abc");
  EXPECT_EQ(Base64Decode("YWI="), "ab");
  EXPECT_EQ(Base64Decode("YW\r\nJj"), "abc");
  EXPECT_EQ(Base64Decode("Y"), "");  // a lone sextet makes no byte
  EXPECT_EQ(Base64Decode(""), "");
}

TEST(Container, HeaderLayoutIsByteExact) {
  const std::string c = BuildContainer("logo.png", "BODY", /*compress=*/false, {0x11223344, 0x55667788, 0x99AABBCC});
  ASSERT_EQ(c.size(), 276u + 4u);
  EXPECT_EQ(c.substr(0, 4), "MFxP");
  EXPECT_EQ(c.substr(4, 4), std::string("\0\0\0\0", 4));
  EXPECT_EQ(Le32At(c, 8), 0x11223344u);
  EXPECT_EQ(Le32At(c, 12), 0x55667788u);
  EXPECT_EQ(Le32At(c, 16), 0x99AABBCCu);
  const std::string encoded = Base64Encode(ScrambleName("logo.png", {0x11223344, 0x55667788, 0x99AABBCC}));
  EXPECT_EQ(static_cast<unsigned char>(c[20]), encoded.size());
  EXPECT_EQ(c.substr(21, encoded.size()), encoded);
  EXPECT_EQ(c.substr(276), "BODY");

  const std::string z = BuildContainer("a.txt", "hello hello hello", /*compress=*/true, {1, 2, 3});
  EXPECT_EQ(z[4], '\1');
  // RFC 1950 header: CMF 0x78, and CMF*256+FLG divisible by 31.
  EXPECT_EQ(static_cast<unsigned char>(z[276]), 0x78);
  EXPECT_EQ(((static_cast<unsigned char>(z[276]) << 8) | static_cast<unsigned char>(z[277])) % 31, 0);
}

TEST(Container, RoundTripLowerCasesTheNameAndKeepsBytes) {
  std::string body;
  for (int i = 0; i < 70000; ++i) body.push_back(static_cast<char>((i * 7919) >> 3));
  for (bool compress : {false, true}) {
    const std::string c = BuildContainer("Tpl_Header.TXT", body, compress, {0xDEADBEEF, 0x01000193, 0x2545F491});
    std::string name, out;
    ASSERT_TRUE(OpenContainer(c, name, out));
    EXPECT_EQ(name, "tpl_header.txt");
    EXPECT_EQ(out, body);
  }
}

TEST(Container, RejectsWhatIsNotAContainer) {
  const std::string good = BuildContainer("x.bin", "payload", true, {5, 6, 7});
  std::string bad_magic = good;
  bad_magic[3] = 'Q';
  std::string corrupt = good;
  corrupt[280] ^= 0x55;
  std::string trailing = good + "junk";
  const std::string header_only = BuildContainer("x.bin", "", false, {5, 6, 7});
  ASSERT_EQ(header_only.size(), 276u);

  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"exactly the 276-byte header", header_only},
      {"shorter than a header", good.substr(0, 100)},
      {"wrong magic", bad_magic},
      {"corrupt zlib body", corrupt},
      {"truncated zlib body", good.substr(0, good.size() - 3)},
      {"garbage after the zlib stream", trailing},
      {"empty", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string name = "keep", body = "keep";
    EXPECT_FALSE(OpenContainer(c.bytes, name, body));
    EXPECT_EQ(body, "keep");
    TMFileList list;
    EXPECT_FALSE(list.AddContainer(c.bytes));
    EXPECT_EQ(list.Count(), 0);
  }
  // One body byte beyond the header is a container.
  TMFileList list;
  EXPECT_TRUE(list.AddContainer(BuildContainer("one.bin", "1", false, {5, 6, 7})));
}

TEST(Container, InflateRefusesOutputBeyondTheLimit) {
  const std::string stream = ZlibCompress(std::string(1 << 20, 'a'));
  std::string out = "keep";
  EXPECT_FALSE(ZlibInflate(stream, out, 1000));
  EXPECT_EQ(out, "keep");
  EXPECT_TRUE(ZlibInflate(stream, out, 1 << 20));
  EXPECT_EQ(out.size(), 1u << 20);
}

TEST(Container, HostileNameFieldsStillDecode) {
  // Length byte 255 with garbage characters: decoding must stay inside the header.
  std::string c = BuildContainer("n", "body", false, {1, 1, 1});
  c[20] = static_cast<char>(255);
  for (size_t i = 21; i < 276; ++i) c[i] = static_cast<char>(i * 37);
  std::string name, body;
  ASSERT_TRUE(OpenContainer(c, name, body));
  EXPECT_EQ(body, "body");
  EXPECT_LE(name.size(), 255u * 3 / 4);
}

TEST(ResourceNames, FileNameMapsToWindowsResourceName) {
  EXPECT_EQ(ResourceNameOf("logo.png"), "LOGO_D_PNG");
  EXPECT_EQ(ResourceNameOf("_fff25.gif"), "_FFF25_D_GIF");
  EXPECT_EQ(ResourceNameOf("tpl_hdd_smart_table_row.txt"), "TPL_HDD_SMART_TABLE_ROW_D_TXT");
}

class FileListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(list.AddContainer(BuildContainer("logo.png", "PNG1", true, {1, 3, 5})));
    ASSERT_TRUE(list.AddContainer(BuildContainer("p.gif", "GIF89a", false, {2, 4, 6})));
    ASSERT_TRUE(list.AddContainer(BuildContainer("LOGO.png", "PNG2", true, {7, 9, 11})));
  }
  TMFileList list;
};

TEST_F(FileListTest, LookUpIgnoresCaseAndSurroundingBlanksFirstEntryWins) {
  const struct {
    std::string asked;
    int expected;
  } cases[] = {{"logo.png", 0}, {"LOGO.PNG", 0}, {" logo.png ", 0}, {"\tP.GIF\r\n", 1},
               {"logo", -1},    {"", -1},        {"logo.png.x", -1}, {"/logo.png", -1}};
  for (const auto& c : cases) EXPECT_EQ(list.IndexOf(c.asked), c.expected) << "[" << c.asked << "]";
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.NameAt(2), "logo.png");
}

TEST_F(FileListTest, GetDataCopiesOrLeavesTargetUntouched) {
  std::string target = "previous";
  EXPECT_TRUE(list.GetData(1, target));
  EXPECT_EQ(target, "GIF89a");
  for (int bad : {-1, 3, 1000, -1000}) {
    std::string untouched = "previous";
    EXPECT_FALSE(list.GetData(bad, untouched));
    EXPECT_EQ(untouched, "previous");
  }
  EXPECT_TRUE(list.Find(" Logo.PNG", target));
  EXPECT_EQ(target, "PNG1");
}

}  // namespace
}  // namespace kv
