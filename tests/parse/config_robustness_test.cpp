// Hostile listings: random bytes, listings cut at every line, very large listings and very
// long lines. None may crash, hang or lose the rest of the listing. (Timing is measured in
// bench/parse_config_bench.cpp, not here.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "base/text_helpers.h"
#include "model/kv_core.h"
#include "parse/build_result.h"
#include "parse/config_hostile_input.h"
#include "parse/config_log_recorder.h"
#include "parse/config_parser.h"
#include "parse/task_parser.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void ParseAll(TKVCore& core, const std::string& text) {
  ParseConfig(text, core);
  ParseTasks(text, core);
  BuildResult(core);
}

TEST(ConfigRobustness, RandomBytesNeverCrash) {
  TCoreLogRecorder quiet;
  for (uint32_t seed = 1; seed <= 200; ++seed) {
    TKVCore core;
    ParseAll(core, RandomListing(2000 + seed * 37, seed));
    // Every drive of the result points at an enclosure of the same result, or at none.
    for (const TResultHDD& d : core.Result.HDDs) {
      if (d.Enclosure == nullptr) continue;
      bool found = false;
      for (const TResultEnclosure& e : core.Result.Enclosures) found = found || &e == d.Enclosure;
      EXPECT_TRUE(found) << "seed " << seed;
    }
  }
}

// Cutting a listing after any line gives a prefix of the full model: block counts never
// shrink as more lines arrive, and the whole listing gives the full counts.
TEST(ConfigRobustness, ListingsCutAtEveryLineGiveAPrefixOfTheModel) {
  std::vector<fs::path> files = {fs::path(KV_SOURCE_DIR) / "examples/demo/get_config.txt"};
  const fs::path real = fs::path(KV_FIXTURES_DIR) / "real/config/53-5805-bat.txt";
  if (fs::exists(real)) files.push_back(real);
  TCoreLogRecorder quiet;
  for (const fs::path& file : files) {
    const std::string text = ReadAll(file);
    TKVCore full;
    ParseAll(full, text);
    int lds = 0, hdds = 0, encs = 0, pairs = 0;
    for (size_t cut = 0; cut <= text.size();) {
      TKVCore core;
      ParseAll(core, text.substr(0, cut));
      int total_pairs = core.ControllerInfo.Count() + core.VersionInfo.Count() + core.BBUInfo.Count();
      for (int i = 0; i < core.HDDs.Count(); ++i) total_pairs += core.HDDs.Item(i).Info.Count();
      EXPECT_GE(core.LDs.Count(), lds) << file << " cut at " << cut;
      EXPECT_GE(core.HDDs.Count(), hdds) << file << " cut at " << cut;
      EXPECT_GE(core.Enclosures.Count(), encs) << file << " cut at " << cut;
      EXPECT_GE(total_pairs, pairs) << file << " cut at " << cut;
      lds = core.LDs.Count();
      hdds = core.HDDs.Count();
      encs = core.Enclosures.Count();
      pairs = total_pairs;
      if (cut == text.size()) break;
      const size_t next = text.find('\n', cut);
      cut = next == std::string::npos ? text.size() : next + 1;
    }
    EXPECT_EQ(lds, full.LDs.Count());
    EXPECT_EQ(hdds, full.HDDs.Count());
    EXPECT_EQ(encs, full.Enclosures.Count());
  }
}

TEST(ConfigRobustness, TenMebibytesOfRepeatedBlocks) {
  const std::string text = RepeatedBlocksListing(10u << 20);
  TKVCore core;
  ParseAll(core, text);
  const int blocks = core.LDs.Count();
  ASSERT_GT(blocks, 10000);
  EXPECT_EQ(core.HDDs.Count(), blocks);
  EXPECT_EQ(core.Enclosures.Count(), blocks);
  // Each drive sits in its own enclosure and belongs to its own logical device.
  EXPECT_EQ(core.Result.HDDs.Item(blocks - 1).Enclosure, &core.Result.Enclosures.Item(blocks - 1));
  EXPECT_EQ(core.Result.LDs.Item(blocks - 1).Members.Count(), 1);
  EXPECT_EQ(core.Result.LDs.Item(blocks - 1).Members.Item(0).Key, blocks - 1);
}

// Twenty thousand rows naming the one place that twenty thousand drives claim: each row
// takes the next free drive, and the whole stays linear.
TEST(ConfigRobustness, ManyRowsNamingOnePlaceShareOutTheDrives) {
  constexpr int kDrives = 20000;
  std::string text = "Logical device information\nLogical device number 0\n   Logical device segment information\n";
  for (int n = 0; n < kDrives; ++n) text += "   Segment " + std::to_string(n) + " : Present (0,0) X\n";
  text += "Physical Device information\n";
  for (int n = 0; n < kDrives; ++n)
    text += "      Device #" + std::to_string(n) +
            "\n         Device is a Hard drive\n         Reported Channel,Device : 0,0\n"
            "         Serial number : X\n";
  TKVCore core;
  ParseAll(core, text);
  const TIntList& members = core.Result.LDs.Item(0).Members;
  ASSERT_EQ(members.Count(), kDrives);
  for (int n = 0; n < kDrives; ++n) ASSERT_EQ(members.Item(n).Key, n);
}

TEST(ConfigRobustness, OneMebibyteLinesAreReadOrIgnoredWhole) {
  TCoreLogRecorder log;
  TKVCore core;
  ParseAll(core, LongLinesListing(1u << 20));
  // The long key/value pair and the long temperature land in the controller; the huge
  // number drops nothing but its own block; the long drive values are kept whole.
  ASSERT_GE(core.ControllerInfo.Count(), 2);
  EXPECT_EQ(core.ControllerInfo.Item(0).Key.size(), 1u << 20);
  EXPECT_EQ(core.Result.Controller.Temperature.size(), 1u << 20);
  ASSERT_EQ(core.LDs.Count(), 1);
  ASSERT_EQ(core.HDDs.Count(), 1);
  EXPECT_EQ(core.Result.HDDs.Item(0).SerialNumber.size(), 1u << 20);
  EXPECT_EQ(core.Result.LDs.Item(0).Members.Count(), 1);
  EXPECT_EQ(core.Result.HDDs.Item(0).Enclosure, nullptr);
}

}  // namespace
}  // namespace kv
