#include <gtest/gtest.h>

#include "health/verdict.h"

#include <string>

#include "base/text_utf8.h"
#include "parse/build_result.h"
#include "parse/config_parser.h"
#include "report/metrics_support.h"
#include "report/state_json.h"

namespace kv {
namespace {

using testing::DemoCore;
using testing::UpHealth;

// A strict recursive-descent check of JSON text (RFC 8259 grammar, UTF-8 not re-validated).
class JsonCheck {
 public:
  explicit JsonCheck(const std::string& s) : s_(s) {}
  bool Valid() {
    Ws();
    if (!Value(0)) return false;
    Ws();
    return i_ == s_.size();
  }

 private:
  void Ws() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t')) ++i_;
  }
  bool Lit(const char* w) {
    const std::string word(w);
    if (s_.compare(i_, word.size(), word) != 0) return false;
    i_ += word.size();
    return true;
  }
  bool String() {
    if (i_ >= s_.size() || s_[i_] != '"') return false;
    for (++i_; i_ < s_.size(); ++i_) {
      const auto c = static_cast<unsigned char>(s_[i_]);
      if (c == '"') return ++i_, true;
      if (c < 0x20) return false;
      if (c == '\\') {
        if (++i_ >= s_.size()) return false;
        if (s_[i_] == 'u') {
          for (int k = 0; k < 4; ++k)
            if (++i_ >= s_.size() || !isxdigit(static_cast<unsigned char>(s_[i_]))) return false;
        } else if (std::string("\"\\/bfnrt").find(s_[i_]) == std::string::npos) {
          return false;
        }
      }
    }
    return false;
  }
  bool Number() {
    const size_t start = i_;
    if (i_ < s_.size() && s_[i_] == '-') ++i_;
    while (i_ < s_.size() && (isdigit(static_cast<unsigned char>(s_[i_])) || std::string(".eE+-").find(s_[i_]) != std::string::npos)) ++i_;
    return i_ > start && isdigit(static_cast<unsigned char>(s_[i_ - 1]));
  }
  bool Value(int depth) {
    if (depth > 64 || i_ >= s_.size()) return false;
    const char c = s_[i_];
    if (c == '"') return String();
    if (c == '{' || c == '[') {
      const char close = c == '{' ? '}' : ']';
      ++i_;
      Ws();
      if (i_ < s_.size() && s_[i_] == close) return ++i_, true;
      for (;;) {
        if (c == '{') {
          if (!String()) return false;
          Ws();
          if (i_ >= s_.size() || s_[i_++] != ':') return false;
          Ws();
        }
        if (!Value(depth + 1)) return false;
        Ws();
        if (i_ >= s_.size()) return false;
        if (s_[i_] == close) return ++i_, true;
        if (s_[i_++] != ',') return false;
        Ws();
      }
    }
    return Lit("true") || Lit("false") || Lit("null") || Number();
  }
  const std::string& s_;
  size_t i_ = 0;
};

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

TEST(StateJson, DemoDocumentIsValidAndComplete) {
  const auto core = DemoCore();
  const std::string json = RenderStateJson(*core, UpHealth());
  EXPECT_TRUE(JsonCheck(json).Valid()) << json.substr(0, 2000);
  EXPECT_EQ(json.rfind("{\"format\":2,\"health\":{\"verdict\":\"OK\",\"level\":0,\"reasons\":[]},"
                      "\"controllers\":[{\"controller\":1,\"stale\":false,", 0), 0u) << json.substr(0, 200);
  EXPECT_EQ(json.substr(json.size() - 4), "}]}\n");
  EXPECT_EQ(Occurrences(json, "\"failed\":"), static_cast<size_t>(core->Result.HDDs.Count()));
  EXPECT_EQ(Occurrences(json, "\"task_id\":"), static_cast<size_t>(core->Tasks.Count()));
  EXPECT_NE(json.find("\"progress_ratio\":0.45"), std::string::npos);
  EXPECT_NE(json.find("\"members\":[{\"drive\":"), std::string::npos);
  EXPECT_EQ(Occurrences(json, "\"missing_members\":0,"),
            static_cast<size_t>(core->Result.LDs.Count() + core->Result.ZepLDs.Count()));
  EXPECT_NE(json.find("\"serial\":\"WD-WMC1T0000101\""), std::string::npos);
  EXPECT_NE(json.find("\"sources\":[{\"source\":\"config\",\"status\":\"ok\",\"status_code\":0"), std::string::npos);
}

TEST(StateJson, HealthVerdictSmartVerdictsAndChanges) {
  const auto core = DemoCore();
  TCycleHealth cycle;
  cycle.Drives = JudgeDrives(*core, DefaultDriveTemperatureMax());
  cycle.Verdict = JudgeHealth(*core, cycle.Drives, "");
  cycle.Recent.push_back({1765000000, TSeverity::Critical, "Drive 0,0 (S/N \"x\"): Online -> Failed"});
  const std::string json = RenderStateJson(*core, UpHealth(), &cycle);
  EXPECT_TRUE(JsonCheck(json).Valid()) << json.substr(json.size() - 2000);
  // The overall verdict on top and the controller's own in its entry.
  EXPECT_EQ(Occurrences(json, "\"health\":{\"verdict\":\"Critical\",\"level\":2,\"reasons\":[{"), 2u);
  EXPECT_NE(json.find("\"changes\":[{\"time\":1765000000,\"severity\":\"critical\",\"text\":\"Drive 0,0 (S/N \\\"x\\\"): Online -> Failed\"}]"),
            std::string::npos);
  EXPECT_EQ(Occurrences(json, "\"smart_verdict\":{\"grade\":"), static_cast<size_t>(core->Result.HDDs.Count()));
  EXPECT_EQ(Occurrences(RenderStateJson(*core, UpHealth()), "\"health\":{"), 1u);  // the overall one only
  // Without a cycle a collection that is down is a Warning overall, not OK.
  EXPECT_EQ(RenderStateJson(*core, CollectionHealth{}).rfind("{\"format\":2,\"health\":{\"verdict\":\"Warning\"", 0), 0u);
}

TEST(StateJson, ControllerEntriesJoinUnderTheOverallVerdict) {
  const auto core = DemoCore();
  TCycleHealth cycle;
  cycle.Verdict.Level = THealth::Critical;
  cycle.Verdict.Reasons.push_back({THealth::Critical, "Drive 0,1", "hdd_0_1", "Failed"});
  const std::string first = RenderStateJsonEntry(1, *core, UpHealth(), &cycle);
  const std::string second = RenderStateJsonEntry(2, *core, CollectionHealth{});
  EXPECT_EQ(JoinStateJson(cycle.Verdict, std::span(&first, 1)), RenderStateJson(*core, UpHealth(), &cycle));
  THealthVerdict overall;
  overall.Level = THealth::Warning;
  overall.Reasons.push_back({THealth::Warning, "Controller 2: Collection", "/c2/#controller", "config source failed"});
  const std::string entries[] = {first, second};
  const std::string json = JoinStateJson(overall, entries);
  EXPECT_TRUE(JsonCheck(json).Valid()) << json.substr(0, 300);
  EXPECT_EQ(json.rfind("{\"format\":2,\"health\":{\"verdict\":\"Warning\",\"level\":1,\"reasons\":[{\"level\":\"Warning\","
                      "\"object\":\"Controller 2: Collection\",\"link\":\"/c2/#controller\",\"text\":\"config source failed\"}]},"
                      "\"controllers\":[{\"controller\":1,", 0), 0u) << json.substr(0, 300);
  EXPECT_NE(json.find("},{\"controller\":2,\"stale\":false,\"collection\":{\"up\":false,"), std::string::npos);
  EXPECT_EQ(Occurrences(json, "\"controller_info\":{\"model\":"), 2u);  // not a second "controller" key
  // Each device and drive opens with its own controller's number, so a flattened row keeps it.
  const size_t devices = static_cast<size_t>(core->Result.LDs.Count() + core->Result.ZepLDs.Count());
  const size_t drives = static_cast<size_t>(core->Result.HDDs.Count());
  ASSERT_GT(core->Result.ZepLDs.Count(), 0);
  EXPECT_EQ(Occurrences(second, "{\"controller\":2,\"number\":"), devices);
  EXPECT_EQ(Occurrences(second, "{\"controller\":2,\"index\":"), drives);
  EXPECT_EQ(Occurrences(second, "\"controller\":"), 1 + devices + drives);
  EXPECT_EQ(Occurrences(first, "{\"controller\":1,\"number\":"), devices);
  EXPECT_EQ(JoinStateJson(THealthVerdict{}, {}), "{\"format\":2,\"health\":{\"verdict\":\"OK\",\"level\":0,\"reasons\":[]},\"controllers\":[]}\n");
}

TEST(StateJson, HostileTextsStayValidJson) {
  // Every byte value, quotes, backslashes and control characters in every kind of text.
  std::string bytes;
  for (int b = 1; b < 256; ++b) bytes += static_cast<char>(b);
  TKVCore core;
  ParseConfig("", core);
  BuildResult(core);
  core.Result.Controller.Model = bytes;
  core.Result.Controller.Lines = {bytes, "\"\\", ""};
  core.Result.Controller.BBULines = {bytes};
  core.Result.Controller.BBUCapacityRemaining = bytes;
  TResultHDD& d = core.Result.HDDs.Add();
  d.SerialNumber = bytes;
  d.Size = "1e999 MB";
  TResultLD& ld = core.Result.LDs.Add();
  ld.Name = bytes;
  ld.Members.Add(7, 0);  // no such drive
  ld.Members.Add(-1, 0);
  core.Tasks.Add().PercentageComplete = bytes;
  const std::string json = RenderStateJson(core, CollectionHealth{});
  EXPECT_TRUE(JsonCheck(json).Valid()) << json;
  EXPECT_NE(json.find("\"backup_unit\":{"), std::string::npos);
  EXPECT_NE(json.find("{\"drive\":7,\"serial\":\"\"}"), std::string::npos);
}

TEST(StateJson, StringsAreUtf8AndEscaped) {
  const std::pair<std::string, std::string> rows[] = {
      {"\xC4\xE8\xF1\xEA 1", "\"\xD0\x94\xD0\xB8\xD1\x81\xD0\xBA 1\""},
      {"\xA8\xB8\xB9", "\"\xD0\x81\xD1\x91\xE2\x84\x96\""},  // Ё ё №
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"\r\n\t\x01", "\"\\r\\n\\t\\u0001\""},
      {"", "\"\""},
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(JsonString(in), out) << in;
  // Every Windows-1251 byte gives one well-formed UTF-8 sequence of two or three bytes.
  for (int b = 0x80; b < 0x100; ++b) {
    const std::string u = Cp1251ToUtf8(std::string(1, static_cast<char>(b)));
    ASSERT_TRUE(u.size() == 2 || u.size() == 3) << b;
    EXPECT_EQ(static_cast<unsigned char>(u[0]) >> (u.size() == 2 ? 5 : 4), u.size() == 2 ? 6 : 14) << b;
  }
}

}  // namespace
}  // namespace kv
