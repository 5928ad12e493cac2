// The SMART attribute-name table: which sections of smart_params.txt it loads.
#include <gtest/gtest.h>

#include "model/smart_names.h"
#include "test_files.h"

namespace kv {
namespace {

using test::ReadFile;

TEST(SmartNames, ShippedTableLoadsOnlyTheCountedSections) {
  const TKVSmartNamesList names(ReadFile(KV_SOURCE_DIR "/resources/smart_params.txt"));
  ASSERT_EQ(names.Count(), 50);
  EXPECT_EQ(names.NameOf(194), "HDA temperature");
  EXPECT_EQ(names.NameOf(175), "Power Loss Protection Failure") << "p49, stored out of order";
  EXPECT_EQ(names.NameOf(232), "") << "p55 lies past count=50";
  EXPECT_EQ(names.NameOf(170), "");
  EXPECT_EQ(names.NameOf(999), "");
}

TEST(SmartNames, MissingSectionsAndHostileCountsAreSkipped) {
  EXPECT_EQ(TKVSmartNamesList().Count(), 0);
  const TKVSmartNamesList names("[main]\ncount=2\n[p1]\nid=7\nname=Seven\n");
  EXPECT_EQ(names.Count(), 1) << "a missing section is skipped";
  EXPECT_EQ(names.NameOf(7), "Seven");
  EXPECT_EQ(TKVSmartNamesList("[main]\ncount=99999999999\n").Count(), 0);
}

}  // namespace
}  // namespace kv
