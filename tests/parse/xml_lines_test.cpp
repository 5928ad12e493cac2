// The XML-to-lines reader: the documented results (quirks included) and a differential
// check against the literal reference in xml_reference.cpp on random and mutated texts.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "parse/smart_synthetic.h"
#include "parse/xml_lines.h"
#include "parse/xml_reference.h"

namespace kv {
namespace {

std::string Numbered(const std::string& text, const std::string& name, int* count = nullptr) {
  int n = -1;
  std::string out;
  NumberElements(text, name, n, out);
  if (count) *count = n;
  return out;
}

std::string Expanded(const std::string& text, const std::string& name, int* count = nullptr) {
  int n = -1;
  std::string out;
  NumberSelfClosing(text, name, n, out);
  if (count) *count = n;
  return out;
}

std::vector<std::string> Lines(const std::string& element, const std::string& name) {
  std::vector<std::string> lines{"stale"};
  ElementAttributesToLines(element, name, lines);
  return lines;
}

std::vector<std::string> Names(const std::string& text) {
  std::vector<std::string> names{"stale"};
  ChildElementNames(text, names);
  return names;
}

TEST(XmlLines, PositionsReplacementsAndIndexForms) {
  EXPECT_EQ(PosFrom("b", "abcb", 1), 2u);
  EXPECT_EQ(PosFrom("b", "abcb", 3), 4u);
  EXPECT_EQ(PosFrom("b", "abcb", 4), 0u) << "a start at the last byte finds nothing";
  EXPECT_EQ(PosFrom("x", "abcb", 1), 0u);
  EXPECT_EQ(PosFrom("", "abcb", 1), 0u);
  EXPECT_EQ(ReplaceAll("aaa", "aa", "a"), "aa") << "no rescanning of the replaced text";
  EXPECT_EQ(ReplaceAll("<a><a>", "<a", "<a:00"), "<a:00><a:00>");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  for (auto [n, form] : std::vector<std::pair<int64_t, std::string>>{
           {0, "00"}, {7, "07"}, {12, "12"}, {101, "101"}, {-3, "03"}, {-42, "42"}})
    EXPECT_EQ(FormatIndex2(n), form) << n;
}

TEST(XmlLines, NumberElementsOrdersByEndTag) {
  struct Case {
    std::string in, name, out;
    int count;
  };
  const std::vector<Case> cases = {
      {R"(<a x="1"></a><a y="2"></a>)", "a", R"(<a:01 x="1"></a:01><a:02 y="2"></a:02>)", 2},
      {"<a p><a q></a></a>", "a", "<a:02 p><a:01 q></a:01></a:02>", 2},
      {"<a><b></b></a><a></a>", "a", "<a:01><b></b></a:01><a:02></a:02>", 2},
      // No end tag: the start tags keep ":00" and nothing is counted.
      {"<a><a>", "a", "<a:00><a:00>", 0},
      // An end tag before any start tag is skipped; the last start tag is left open.
      {"</a><a></a><a>", "a", "</a:00><a:01></a:01><a:00>", 1},
      // A longer name that starts with the name is rewritten too and pairs as a start tag.
      {"<a><ab></ab></a>", "a", "<a:00><a:01b></a:00b></a:01>", 1},
      {"no tags", "a", "no tags", 0},
  };
  for (const auto& c : cases) {
    int count = -1;
    EXPECT_EQ(Numbered(c.in, c.name, &count), c.out) << c.in;
    EXPECT_EQ(count, c.count) << c.in;
  }
  // Three-digit numbers past 99.
  std::string many;
  for (int i = 0; i < 101; ++i) many += "<e></e>";
  int count = 0;
  const std::string out = Numbered(many, "e", &count);
  EXPECT_EQ(count, 101);
  EXPECT_NE(out.find("<e:100></e:100><e:101></e:101>"), std::string::npos);
}

TEST(XmlLines, NumberSelfClosingExpandsFromZeroUpToHundred) {
  int count = -1;
  EXPECT_EQ(Expanded(R"(<ld id="0" /><ld id="1" />)", "ld", &count),
            R"(<ld:00  id="0"  ></ld:00><ld:01  id="1"  ></ld:01>)");
  EXPECT_EQ(count, 2);
  EXPECT_EQ(Expanded("<x/>", "ld", &count), "<x/>");
  EXPECT_EQ(count, 1) << "one step searched and found nothing";
  // A start tag without "/>" takes the "/>" of the next element.
  EXPECT_EQ(Expanded(R"(<ld a="1"><ld b="2"/>)", "ld", &count),
            R"(<ld:00  a="1"><ld b="2" ></ld:00>)");

  std::string many;
  for (int i = 0; i < 150; ++i) many += "<p id=\"" + std::to_string(i) + "\"/>";
  const std::string out = Expanded(many, "p", &count);
  EXPECT_EQ(count, 100);
  EXPECT_NE(out.find("<p:99  id=\"99\" ></p:99><p id=\"100\"/>"), std::string::npos);
  EXPECT_EQ(out.find("<p:100"), std::string::npos);
}

TEST(XmlLines, EmptyElementsConvertBetweenBothSpellings) {
  struct Case {
    std::string in, paired, self_closed;  // PairSelfClosing / SelfCloseEmptyPairs for "x"
  };
  const std::vector<Case> cases = {
      {R"(<x a="1" b="2"/>)", R"(<x a="1" b="2" ></x>)", R"(<x a="1" b="2"/>)"},
      {"<x a=\"1\"\r\n/><x/>", "<x a=\"1\"\r\n></x><x></x>", "<x a=\"1\"\r\n/><x/>"},
      {"<x a=\"1\" >\r\n\t </x\r\n><x></x>", "<x a=\"1\" >\r\n\t </x\r\n><x></x>",
       "<x a=\"1\" /><x/>"},
      // Only the exact name, only an empty body, only a start tag closed before the next "<".
      {"<xy a/><xy a></xy>", "<xy a/><xy a></xy>", "<xy a/><xy a></xy>"},
      {"<x a><y/></x>", "<x a><y/></x>", "<x a><y/></x>"},
      {"<x a></xy>", "<x a></xy>", "<x a></xy>"},
      {"<x a <y/><x/>", "<x a <y/><x></x>", "<x a <y/><x/>"},
      {"<x a=\"/\"", "<x a=\"/\"", "<x a=\"/\""},
      {"<x a>  </x", "<x a>  </x", "<x a>  </x"},
      {"<x", "<x", "<x"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PairSelfClosing(c.in, "x"), c.paired) << c.in;
    EXPECT_EQ(SelfCloseEmptyPairs(c.in, "x"), c.self_closed) << c.in;
  }
}

TEST(XmlLines, NumberAttributeTagsStopsAfter101) {
  std::string text = R"(<attribute id="0x05"/><attribute id="0xc2"/>)";
  int counter = 0;
  NumberAttributeTags(text, counter);
  EXPECT_EQ(text, R"(<attribute_01 id="0x05"/><attribute_02 id="0xc2"/>)");
  EXPECT_EQ(counter, 2);

  std::string many;
  for (int i = 0; i < 103; ++i) many += "<attribute x/>";
  counter = 0;
  NumberAttributeTags(many, counter);
  EXPECT_EQ(counter, 101);
  EXPECT_NE(many.find("<attribute_101 x/><attribute x/><attribute x/>"), std::string::npos);
}

TEST(XmlLines, ExtractElementNeedsStartBeforeEnd) {
  const std::string t = "<a:01 x><a:02></a:02></a:01></b:03><b:03></b:03>";
  EXPECT_EQ(ExtractElement(t, "a", 1), t.substr(0, 28));
  EXPECT_EQ(ExtractElement(t, "a", 2), "<a:02></a:02>");
  EXPECT_EQ(ExtractElement(t, "a", 3), "");
  EXPECT_EQ(ExtractElement(t, "b", 3), "") << "the first end tag lies before the start tag";
  const auto all = ExtractElements(t, "a", 3);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0], ExtractElement(t, "a", 1));
  EXPECT_EQ(all[1], "<a:02></a:02>");
  EXPECT_EQ(all[2], "");
}

TEST(XmlLines, AttributeLinesKeepBlanksInValuesAndTheClosingBracket) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Lines(R"(<smartstats:01 devicename="Ctrl A" serialnumber="ab12">)", "smartstats"),
            (V{"devicename: Ctrl A", "serialnumber: ab12>"}));
  EXPECT_EQ(Lines(R"(<attribute_01 name="Read Error Rate" id="0x01" />)", "attribute_01 "),
            (V{"name: Read Error Rate", "id: 0x01"}));
  // A blank-only value is not protected; CR LF splits; tabs do not.
  EXPECT_EQ(Lines("<t a=\" \" b=\"1\"\r\nc=\"x\ty\" >", "t"), (V{"a: ", "b: 1", "c: x\ty"}));
  EXPECT_EQ(Lines("no tag here", "t"), V{});
  EXPECT_EQ(Lines("<t a=\"1\"", "t"), V{}) << "an unclosed start tag gives nothing";
  // Only 21 values are protected: the blank in the 22nd splits it.
  std::string tag = "<t";
  for (int i = 0; i < 22; ++i) tag += " k" + std::to_string(i) + "=\"v " + std::to_string(i) + "\"";
  tag += " >";
  const V lines = Lines(tag, "t");
  ASSERT_EQ(lines.size(), 22u);
  EXPECT_EQ(lines[20], "k20: v 20");
  EXPECT_EQ(lines[21], "k21: v");
}

TEST(XmlLines, ChildElementNamesListStartTagsWithAttributes) {
  using V = std::vector<std::string>;
  const std::string d =
      "<physicaldrivesmartstats:01 channel=\"0\" id=\"4\" >\r\n"
      "  <attribute_03 id=\"0x05\" />\r\n  <attribute_030 id=\"0x06\" />\r\n"
      "  <empty>\r\n  </empty>\r\n\t<tabbed x=\"1\"/>\r\n</physicaldrivesmartstats:01>";
  EXPECT_EQ(Names(d), (V{"physicaldrivesmartstats", "attribute_03 ", "attribute_030 ",
                         "\ttabbed "}));
  EXPECT_EQ(Lines(d, "attribute_03 "), V{"id: 0x05"});
}

// ---- differential ------------------------------------------------------------------------

const std::vector<std::string> kNames = {"a", "smartstats", "physicaldrivesmartstats",
                                         "physicaldrivestats", "ld", "attribute_01 ",
                                         "controllerlog", "logicaldrivestats"};

void ExpectSameAsReference(const std::string& text) {
  SCOPED_TRACE(text.size() < 300 ? text : text.substr(0, 300) + "...");
  for (const std::string& name : kNames) {
    SCOPED_TRACE(name);
    int c1 = -1, c2 = -2;
    std::string r1, r2;
    NumberElements(text, name, c1, r1);
    ref::NumberElements(text, name, c2, r2);
    ASSERT_EQ(c1, c2);
    ASSERT_EQ(r1, r2);
    const auto all = ExtractElements(r1, name, c1);
    for (int n = 1; n <= c1; ++n) {
      ASSERT_EQ(std::string(all[static_cast<size_t>(n - 1)]), ref::ExtractElement(r1, name, n));
      ASSERT_EQ(ExtractElement(r1, name, n), ref::ExtractElement(r1, name, n));
    }
    int s1 = -1, s2 = -2;
    std::string e1, e2;
    NumberSelfClosing(text, name, s1, e1);
    ref::NumberSelfClosing(text, name, s2, e2);
    ASSERT_EQ(s1, s2);
    ASSERT_EQ(e1, e2);
    const auto zero = ExtractElementsFromZero(e1, name, s1);
    for (int n = 0; n < s1; ++n)
      ASSERT_EQ(std::string(zero[static_cast<size_t>(n)]), ref::ExtractElement(e1, name, n));
    std::vector<std::string> l1, l2;
    ElementAttributesToLines(text, name, l1);
    ref::ElementAttributesToLines(text, name, l2);
    ASSERT_EQ(l1, l2);
    std::string buffer;
    std::vector<TAttributeLine> parts;
    const size_t at = text.find("<" + name);
    StartTagLines(at == std::string::npos ? "" : std::string_view(text).substr(at), buffer, parts);
    std::vector<std::string> joined;
    for (const auto& p : parts) joined.push_back(std::string(p.Key) + ": " + std::string(p.Value));
    ASSERT_EQ(joined, l2);
  }
  for (const std::string& name : kNames) {
    ASSERT_EQ(PairSelfClosing(text, name), ref::PairSelfClosing(text, name)) << name;
    ASSERT_EQ(SelfCloseEmptyPairs(text, name), ref::SelfCloseEmptyPairs(text, name)) << name;
  }
  std::string t1 = text, t2 = text;
  int k1 = 0, k2 = 0;
  NumberAttributeTags(t1, k1);
  ref::NumberAttributeTags(t2, k2);
  ASSERT_EQ(k1, k2);
  ASSERT_EQ(t1, t2);
  std::vector<std::string> n1, n2;
  ChildElementNames(text, n1);
  ref::ChildElementNames(text, n2);
  ASSERT_EQ(n1, n2);
  for (size_t from : {size_t{0}, size_t{1}, text.size() / 2, text.size()})
    ASSERT_EQ(PosFrom("<a", text, from), ref::PosFrom("<a", text, from));
}

std::string RandomTagSoup(std::mt19937& rng, size_t pieces) {
  static const std::vector<std::string> bits = {
      "<a", "</a", ">", "/>", " ", "<a ", "<ab", "</ab>", "x=\"1 2\"", "y=\"\"", "=\"",
      "\"", "<ld ", "<ld:00", "</a:00>", "<a:00", "\r\n", "\n", "\r", "<attribute ",
      "<attribute_01 ", "id=\"0xc2\"", ":", "0", "1", "\t", "\x95", "<physicaldrivestats ",
      "<smartstats", "</smartstats>", "<physicaldrivesmartstats ", "</physicaldrivesmartstats>",
      "<controllerlog ", "</controllerlog>", "<logicaldrivestats ", "</logicaldrivestats>"};
  std::uniform_int_distribution<size_t> pick(0, bits.size() - 1);
  std::string s;
  for (size_t i = 0; i < pieces; ++i) s += bits[pick(rng)];
  return s;
}

std::string Mutate(std::string s, std::mt19937& rng) {
  if (s.empty()) return s;
  std::uniform_int_distribution<int> op(0, 4);
  const int edits = 1 + static_cast<int>(rng() % 6);
  for (int e = 0; e < edits && !s.empty(); ++e) {
    const size_t at = rng() % s.size();
    const size_t len = std::min<size_t>(s.size() - at, 1 + rng() % 64);
    switch (op(rng)) {
      case 0: s.erase(at, len); break;                          // drop a slice
      case 1: s.insert(at, s.substr(rng() % s.size(), len)); break;  // duplicate a slice
      case 2: s.resize(at); break;                               // truncate
      case 3: s[at] = "<>/\" =\r\n"[rng() % 9]; break;           // damage one byte
      default: s.insert(at, RandomTagSoup(rng, 3)); break;
    }
  }
  return s;
}

TEST(XmlLinesDifferential, RandomTagSoupMatchesReference) {
  std::mt19937 rng(20261208);
  for (int i = 0; i < 400; ++i) {
    ExpectSameAsReference(RandomTagSoup(rng, 1 + rng() % 80));
    if (HasFatalFailure()) return;
  }
}

TEST(XmlLinesDifferential, MutatedUtilityOutputsMatchReference) {
  std::mt19937 rng(7);
  synth::TOptions o;
  o.Sata = 3;
  o.Sas = 2;
  const std::vector<std::string> bases = {synth::Smart(o), synth::Stats(o, 4)};
  for (const auto& base : bases) {
    ExpectSameAsReference(base);
    for (int i = 0; i < 60; ++i) {
      ExpectSameAsReference(Mutate(base, rng));
      if (HasFatalFailure()) return;
    }
  }
}

}  // namespace
}  // namespace kv
