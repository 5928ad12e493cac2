// Request targets found by fuzzing the path checks.
#include <gtest/gtest.h>

#include <string>

#include "http/request_path.h"

namespace kv {
namespace {

// A target without its leading "/" kept a relative directory ("ab/"), which the router
// appends to the program folder's name without a separator: "/opt/kv" + "ab/y" names
// "/opt/kvab/y", a sibling folder. Such targets must never pass the disk checks.
TEST(RequestTargetWithoutLeadingSlash, NeverResolvesBesideTheProgramFolder) {
  for (const std::string target : {"ab/y", "_backup/secret.txt", "\xca\xd0\x87\xd0/y",
                                   "a/b/c", "x/./y"}) {
    const std::string dir = ExtractRequestDir(target);
    const std::string name = ExtractRequestName(target);
    EXPECT_FALSE(IsServablePath(dir, name, PathRules::kPosix)) << target;
    EXPECT_FALSE(IsServablePath(dir, name, PathRules::kWindows)) << target;
  }
  // Rooted targets and a bare name (its directory is the root) are still served.
  for (const std::string target : {"/ab/y", "/y", "y", "/a/./b/../c.txt"}) {
    EXPECT_TRUE(IsServablePath(ExtractRequestDir(target), ExtractRequestName(target),
                               PathRules::kPosix))
        << target;
  }
}

// "/cN/" folders name controller N; numbers never served read 0, other folders -1.
TEST(ControllerFolder, NumberWrittenWithoutLeadingZeros) {
  const struct {
    std::string dir;
    int controller;
  } rows[] = {{"/c1/", 1}, {"/c2/", 2}, {"/c8/", 8}, {"/c9/", 9}, {"/c10/", 10}, {"/c0/", 0}, {"/c02/", 0},
              {"/c99999999999/", 0}, {"/c1x/", -1}, {"/C2/", -1}, {"/c/", -1}, {"/", -1}, {"/c2/x/", -1},
              {"/x/c2/", -1}, {"c2/", -1}, {"/c2", -1}, {"/c-1/", -1}, {"/c+1/", -1}};
  for (const auto& r : rows) EXPECT_EQ(ControllerOfFolder(r.dir), r.controller) << r.dir;
  EXPECT_EQ(ControllerOfFolder(ExtractRequestDir("/x/../c2/./raw?a=/c3/")), 2);
  EXPECT_EQ(ControllerNumber("c3"), 3);
  EXPECT_EQ(ControllerNumber("c03"), 0);
  EXPECT_EQ(ControllerNumber("c3.html"), -1);
}

}  // namespace
}  // namespace kv
