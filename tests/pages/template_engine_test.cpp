// Tmail_list: pair order, no rescanning of inserted text, the per-instance template cache
// and line normalisation.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <utility>
#include <vector>
#include <string>

#include "pages/template_engine.h"
#include "test_files.h"

namespace kv {
namespace {

struct FakeSource {
  std::map<std::string, std::string> files;
  std::map<std::string, int> fetches;
  TTemplateSource Get() {
    return [this](const std::string& name, std::string& bytes) {
      ++fetches[name];
      auto it = files.find(name);
      if (it == files.end()) return false;
      bytes = it->second;
      return true;
    };
  }
};

TEST(TemplateEngine, PairsApplyInTheOrderAdded) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> pairs;
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {"later pair fills a placeholder inserted by an earlier one", {{"@a@", "x@b@"}, {"@b@", "y"}}, "@a@", "xy"},
      {"earlier pair cannot fill a placeholder inserted later", {{"@b@", "y"}, {"@a@", "x@b@"}}, "@a@", "x@b@"},
      {"a value holding its own placeholder does not loop", {{"@a@", "@a@@a@"}}, "@a@", "@a@@a@"},
      {"duplicate pairs apply in turn", {{"@a@", "1"}, {"@a@", "2"}}, "@a@", "1"},
      {"every occurrence, case-sensitive", {{"@id@", "7"}}, "c_@id@ c_@id@_all @ID@", "c_7 c_7_all @ID@"},
      {"empty value removes the placeholder", {{"@x@", ""}}, "[@x@]", "[]"},
      {"empty placeholder changes nothing", {{"", "boom"}}, "text", "text"},
      {"bytes above 0x7F pass untouched", {{"@n@", "\xC4\xE8\xF1\xEA"}}, "\xC8\xEC\xFF: @n@", "\xC8\xEC\xFF: \xC4\xE8\xF1\xEA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Tmail_list engine(TTemplateSource{});
    for (const auto& [placeholder, value] : c.pairs) engine.AddPair(placeholder, value);
    engine.ApplyText(c.text);
    EXPECT_EQ(engine.GetResult(), c.expected);
  }
}

// The engine takes a one-pass route when it can prove the result equal; random templates,
// placeholders and values over a small alphabet (with "@" in every role) must give exactly
// what applying the pairs in turn gives.
TEST(TemplateEngine, EveryRouteGivesWhatThePairsInTurnGive) {
  std::mt19937 random(20261209);
  const auto pick = [&random](const std::string& alphabet, int max_length) {
    std::string out(random() % static_cast<unsigned>(max_length + 1), ' ');
    for (char& c : out) c = alphabet[random() % alphabet.size()];
    return out;
  };
  for (int n = 0; n < 20000; ++n) {
    std::string text;
    for (int part = random() % 6; part > 0; --part)
      text += random() % 2 ? pick("ab<@", 3) : "@" + pick("ab", 2) + "@";
    std::vector<std::pair<std::string, std::string>> pairs;
    for (int k = random() % 4; k > 0; --k)
      pairs.emplace_back(random() % 8 ? "@" + pick("ab", 2) + "@" : pick("ab@", 3),
                         pick(random() % 2 ? "ab<" : "ab@", 4));
    std::string expected = text;
    for (const auto& [placeholder, value] : pairs) expected = ReplaceString(expected, placeholder, value);
    Tmail_list engine(TTemplateSource{});
    for (const auto& [placeholder, value] : pairs) engine.AddPair(placeholder, value);
    engine.ApplyText(text);
    ASSERT_EQ(engine.GetResult(), expected) << "text [" << text << "], case " << n;
  }
}

TEST(TemplateEngine, ReplaceStringScansLeftToRightWithoutOverlap) {
  EXPECT_EQ(ReplaceString("aaa", "aa", "b"), "ba");
  EXPECT_EQ(ReplaceString("abab", "ab", "abab"), "abababab");
  EXPECT_EQ(ReplaceString("", "a", "b"), "");
  EXPECT_EQ(ReplaceString("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceString("abc", "abcd", "x"), "abc");
  EXPECT_EQ(ReplaceString("abc", "c", ""), "ab");
}

TEST(TemplateEngine, TemplateLinesAreJoinedWithCrLf) {
  const struct {
    std::string stored;
    std::string normalised;
  } cases[] = {
      {"a\nb", "a\r\nb\r\n"}, {"a\r\nb\r\n", "a\r\nb\r\n"}, {"a\rb\r", "a\r\nb\r\n"},
      {"a\n\nb", "a\r\n\r\nb\r\n"}, {"\r\n", "\r\n"}, {"", ""}, {"a\r\r\nb", "a\r\n\r\nb\r\n"},
  };
  for (const auto& c : cases) {
    FakeSource source;
    source.files["t.txt"] = c.stored;
    Tmail_list engine(source.Get());
    engine.ApplyTemplate("t.txt");
    EXPECT_EQ(engine.GetResult(), c.normalised) << "stored [" << c.stored << "]";
  }
}

TEST(TemplateEngine, MissingTemplateLeavesTheResultAsItWas) {
  FakeSource source;
  source.files["row.txt"] = "<tr>@v@</tr>";
  Tmail_list engine(source.Get());
  engine.AddPair("@v@", "1");
  engine.ApplyTemplate("row.txt");
  ASSERT_EQ(engine.GetResult(), "<tr>1</tr>\r\n");
  engine.ApplyTemplate("absent.txt");
  EXPECT_EQ(engine.GetResult(), "<tr>1</tr>\r\n");
  engine.ClearPairs();
  EXPECT_EQ(engine.GetResult(), "");
  engine.ApplyTemplate("absent.txt");
  EXPECT_EQ(engine.GetResult(), "");
}

TEST(TemplateEngine, TemplateIsFetchedOncePerInstanceAndKeyedWithoutPath) {
  FakeSource source;
  source.files["row.txt"] = "<tr>@v@</tr>";
  Tmail_list engine(source.Get());
  for (int i = 0; i < 3; ++i) {
    engine.ClearPairs();
    engine.AddPair("@v@", std::to_string(i));
    engine.ApplyTemplate(i == 1 ? "C:\\templates\\row.txt" : "row.txt");
    EXPECT_EQ(engine.GetResult(), "<tr>" + std::to_string(i) + "</tr>\r\n");
  }
  EXPECT_EQ(source.fetches["row.txt"], 1);
  // A later change of the stored text is not seen by this instance, but a new one sees it.
  source.files["row.txt"] = "changed";
  engine.ApplyTemplate("row.txt");
  EXPECT_NE(engine.GetResult(), "changed\r\n");
  Tmail_list fresh(source.Get());
  fresh.ApplyTemplate("row.txt");
  EXPECT_EQ(fresh.GetResult(), "changed\r\n");
}

TEST(TemplateEngine, AStoreSourceReadsItsTemplates) {
  Tmail_list engine(test::EmbeddedFiles());
  engine.AddPair("@u@", "Updated: now");
  engine.ApplyTemplate("tpl_end.txt");
  EXPECT_NE(engine.GetResult().find("Updated: now"), std::string::npos);
  EXPECT_EQ(engine.GetResult().find("@u@"), std::string::npos);
  EXPECT_EQ(engine.GetResult().find("\n\n"), std::string::npos);
}

}  // namespace
}  // namespace kv
