// Request targets found by fuzzing the path checks.
#include <gtest/gtest.h>

#include <string>

#include "http/http_history.h"
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

// The history query is the client's text: every malformed one is a 400, never a crash or
// an unbounded time; numbers too large are clamped.
TEST(HistoryQuery, DecodedBoundedOrRefused) {
  constexpr int64_t kNow = 1000000000, kDefault = kNow - kHistoryDefaultSeconds, kMax = INT64_MAX;
  constexpr int64_t kHuge = 1000000000000000;
  const struct {
    std::string target;
    std::string serial;  // "400": refused
    int64_t from, to;
  } rows[] = {
      {"/history.csv", "", kDefault, kMax},
      {"/history.csv?serial=WD%2d1%20x%C4", "WD-1 x\xC4", 0, kMax},
      {"/history.csv?serial=a+b&serial=c%2B", "c+", 0, kMax},
      {"/history.json?from=5&to=10&other=%41", "", 5, 10},
      {"/history.json?to=100000000", "", 100000000 - kHistoryDefaultSeconds, 100000000},
      {"/history.json?&&serial=S&from=-7&", "S", -7, kMax},
      {"/history.json?from=99999999999999999999999999&to=99999999999999999999", "", kHuge, kHuge},
      {"/history.json?to=-99999999999999999999", "", -kHuge - kHistoryDefaultSeconds, -kHuge},
      {"/history.csv?serial=%", "400", 0, 0},
      {"/history.csv?serial=%4", "400", 0, 0},
      {"/history.csv?serial=%zz", "400", 0, 0},
      {"/history.csv?serial=a%00b", "400", 0, 0},
      {"/history.csv?%G=1", "400", 0, 0},
      {"/history.json?from=", "400", 0, 0},
      {"/history.json?from=12a", "400", 0, 0},
      {"/history.json?to=-", "400", 0, 0},
      {"/history.json?to=1e9", "400", 0, 0},
      {"/history.json?from=10&to=5", "400", 0, 0},
  };
  for (const auto& r : rows) {
    THistoryQuery query;
    std::string problem;
    const bool read = ReadHistoryQuery(r.target, kNow, query, problem);
    EXPECT_EQ(read, r.serial != "400") << r.target;
    EXPECT_EQ(problem.empty(), read) << r.target;
    if (!read) continue;
    EXPECT_EQ(query.Serial, r.serial) << r.target;
    EXPECT_EQ(query.From, r.from) << r.target;
    EXPECT_EQ(query.To, r.to) << r.target;
  }
  EXPECT_EQ(HistoryCsvName(""), "drive_history.csv");
  EXPECT_EQ(HistoryCsvName("WD-1.x_2"), "drive_history_WD-1.x_2.csv");
  EXPECT_EQ(HistoryCsvName("a\"b;c/\\\r\n\xC4"), "drive_history_a_b_c_____.csv");
  EXPECT_EQ(HistoryCsvName(std::string(100, 'x')).size(), std::string("drive_history_.csv").size() + 64);
}

}  // namespace
}  // namespace kv
