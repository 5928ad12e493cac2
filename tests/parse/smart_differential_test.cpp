// The SMART and statistics parsers against the literal reference: the fixtures, synthetic
// outputs of 1 to 512 drives, and random damage to both (truncation included).
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "model/kv_core.h"
#include "parse/smart_parser.h"
#include "parse/smart_synthetic.h"
#include "parse/stats_parser.h"
#include "parse/xml_reference.h"

namespace kv {
namespace {

std::string ReadFixture(const std::string& name) {
  std::ifstream in(KV_SOURCE_DIR "/tests/fixtures/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs all three parsers both ways over `text` and compares every parsed field.
void ExpectSameAsReference(const std::string& text) {
  TKVCore fast, slow;
  ParseSmart(text, fast);
  ParseLogStats(text, fast);
  ParseCacheStats(text, fast);
  ref::ParseSmart(slow, text);
  ref::ParseLogStats(slow, text);
  ref::ParseCacheStats(slow, text);
  ASSERT_EQ(ref::DumpParsed(fast), ref::DumpParsed(slow))
      << (text.size() < 400 ? text : text.substr(0, 400));
}

std::string Damage(std::string s, std::mt19937& rng) {
  static const char* const bits[] = {"<", ">", "/>", "\"", " ", "=", "\r\n", "<attribute ",
                                     "</physicaldrivesmartstats>", "<logicaldrivestats ",
                                     "<PhysicalDriveStats ", "id=\"0xc2\"", "0x", ":",
                                     // "word: " in a value, ending a longer key or, after a
                                     // line break inside quotes, inside a key.
                                     "name=\"a id: b\"", "serialid=\"7\" ", "\x95",
                                     "x=\"a\nq id: 7=z\" "};
  const int edits = 1 + static_cast<int>(rng() % 5);
  for (int e = 0; e < edits && !s.empty(); ++e) {
    const size_t at = rng() % s.size();
    const size_t len = std::min<size_t>(s.size() - at, 1 + rng() % 200);
    switch (rng() % 4) {
      case 0: s.erase(at, len); break;
      case 1: s.insert(at, s.substr(rng() % s.size(), len)); break;
      case 2: s.resize(at); break;
      default: s.insert(at, bits[rng() % (sizeof bits / sizeof *bits)]); break;
    }
  }
  return s;
}

TEST(SmartDifferential, FixturesMatchReference) {
  for (const char* name : {"smart_mixed.xml", "smart_mixed_truncated.xml", "stats_log.xml",
                           "stats_log_truncated.xml", "stats_cache.xml",
                           "stats_cache_truncated.xml"}) {
    SCOPED_TRACE(name);
    const std::string text = ReadFixture(name);
    ASSERT_FALSE(text.empty());
    ExpectSameAsReference(text);
  }
}

TEST(SmartDifferential, SyntheticDriveCountsMatchReference) {
  for (int drives : {1, 2, 3, 7, 64, 129, 512}) {
    SCOPED_TRACE(drives);
    synth::TOptions o;
    o.Sata = (drives + 1) / 2;
    o.Sas = drives / 2;
    ExpectSameAsReference(synth::Smart(o));
    ExpectSameAsReference(synth::Stats(o, 1 + drives / 16));
    TKVCore core;
    ParseSmart(synth::Smart(o), core);
    EXPECT_EQ(core.SATASmart.Count(), o.Sata);
    EXPECT_EQ(core.SASSmart.Count(), o.Sas);
    ParseLogStats(synth::Stats(o, 4), core);
    EXPECT_EQ(core.Stats.PhysStats.Count(), std::min(drives, 100))
        << "at most 100 empty physical drive elements are read";
  }
}

TEST(SmartDifferential, DamagedOutputsMatchReference) {
  std::mt19937 rng(1208);
  synth::TOptions o;
  o.Sata = 4;
  o.Sas = 3;
  const std::string bases[] = {ReadFixture("smart_mixed.xml"), ReadFixture("stats_log.xml"),
                               ReadFixture("stats_cache.xml"), synth::Smart(o),
                               synth::Stats(o, 5)};
  for (const auto& base : bases)
    for (int i = 0; i < 80; ++i) {
      ExpectSameAsReference(Damage(base, rng));
      if (HasFatalFailure()) return;
    }
}

}  // namespace
}  // namespace kv
