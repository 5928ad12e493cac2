// The bound on client-caused core-log lines: budget per window, the count of the lines
// left out, and that nothing is lost when many threads write at once.
#include "http/log_throttle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace kv {
namespace {

struct Recorder {
  std::mutex lock;
  std::vector<std::string> lines;
  CoreLogThrottle::Sink Sink() {
    return [this](const std::string& line) {
      std::lock_guard<std::mutex> guard(lock);
      lines.push_back(line);
    };
  }
};

TEST(CoreLogThrottle, WritesTheBudgetThenCountsTheRestOnceTheWindowIsOver) {
  uint32_t now = 0xFFFFF000u;  // the window spans the tick's wrap-around
  Recorder out;
  CoreLogThrottle throttle(3, 10000, [&] { return now; }, out.Sink());
  for (int i = 0; i < 10; ++i) throttle.Write("SOCK.ERROR line " + std::to_string(i));
  throttle.Flush();  // the window is not over: nothing yet
  EXPECT_EQ(out.lines, (std::vector<std::string>{"SOCK.ERROR line 0", "SOCK.ERROR line 1", "SOCK.ERROR line 2"}));

  now += 10000;
  throttle.Flush();
  throttle.Flush();  // the count goes out once
  ASSERT_EQ(out.lines.size(), 4u);
  EXPECT_EQ(out.lines[3], "SOCK.ERROR 7 more connection errors were not written (at most 3 lines in 10 s)");

  // A fresh window: the budget is whole again, and a left-out count from a window that
  // ended without a Flush goes out before the next line.
  for (int i = 0; i < 5; ++i) throttle.Write("again");
  now += 25000;
  throttle.Write("later");
  EXPECT_EQ(out.lines.size(), 4u + 3u + 2u);
  EXPECT_EQ(out.lines[7], "SOCK.ERROR 2 more connection errors were not written (at most 3 lines in 10 s)");
  EXPECT_EQ(out.lines[8], "later");
}

TEST(CoreLogThrottle, ManyThreadsLoseNoCount) {
  uint32_t now = 0;
  std::atomic<bool> advance{false};
  Recorder out;
  CoreLogThrottle throttle(5, 1000, [&] { return advance ? now + 5000 : now; }, out.Sink());
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 1000; ++i) throttle.Write("x");
    });
  for (std::thread& t : threads) t.join();
  advance = true;
  throttle.Flush();
  ASSERT_EQ(out.lines.size(), 6u);
  EXPECT_EQ(out.lines.back(), "SOCK.ERROR 7995 more connection errors were not written (at most 5 lines in 1 s)");
}

}  // namespace
}  // namespace kv
