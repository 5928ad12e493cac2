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

}  // namespace
}  // namespace kv
