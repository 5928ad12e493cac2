#include "platform/main_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace kv::platform {
namespace {

TEST(MainLoop, SynchronizeRunsOnTheLoopThreadAndWaits) {
  MainLoop loop;
  std::thread runner([&] { loop.Run(); });
  std::vector<int> seen;
  std::vector<std::thread> callers;
  for (int i = 0; i < 8; ++i) {
    callers.emplace_back([&, i] {
      for (int k = 0; k < 100; ++k)
        EXPECT_TRUE(loop.Synchronize([&] {
          EXPECT_TRUE(loop.IsLoopThread());
          seen.push_back(i);  // unguarded on purpose: only the loop thread touches it
        }));
    });
  }
  for (auto& t : callers) t.join();
  EXPECT_EQ(seen.size(), 800u);
  loop.Quit();
  runner.join();
}

TEST(MainLoop, ThrowingWorkDoesNotEndTheLoopAndQuitReleasesWaiters) {
  MainLoop loop;
  std::thread runner([&] { loop.Run(); });
  EXPECT_TRUE(loop.Synchronize([] { throw 1; }));
  std::atomic<int> ran{0};
  EXPECT_TRUE(loop.Synchronize([&] { ++ran; }));
  EXPECT_EQ(ran.load(), 1);
  loop.Quit();
  runner.join();
  EXPECT_FALSE(loop.Synchronize([&] { ++ran; }));
  EXPECT_EQ(ran.load(), 1);
}

}  // namespace
}  // namespace kv::platform
