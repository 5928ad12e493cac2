#include "collect/thread_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace kv {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// A main loop of its own on a thread, like the program's.
class LoopThread {
 public:
  LoopThread() : thread_([this] { loop.Run(); }) {
    while (!ran_) {
      loop.Synchronize([this] { ran_ = true; });
      std::this_thread::yield();
    }
  }
  ~LoopThread() {
    loop.Quit();
    thread_.join();
  }
  platform::MainLoop loop;

 private:
  std::atomic<bool> ran_{false};
  std::thread thread_;
};

TEST(ThreadTimer, IntervalZeroKeepsTheCurrentOne) {
  LoopThread loop;
  TThread_timer timer(loop.loop);
  EXPECT_EQ(timer.Interval(), 1000u);
  timer.SetInterval(0);
  EXPECT_EQ(timer.Interval(), 1000u);
  timer.SetInterval(250);
  timer.SetInterval(0);
  EXPECT_EQ(timer.Interval(), 250u);
}

// Regression: the second tick once followed the first at once instead of an interval later.
TEST(ThreadTimer, FirstTickComesAtOnceTheNextAfterTheInterval) {
  LoopThread loop;
  std::atomic<int> ticks{0};
  std::atomic<bool> on_loop{false};
  TThread_timer timer(loop.loop);
  timer.SetInterval(300);
  timer.OnTimer = [&](TThread_timer& sender) {
    on_loop = loop.loop.IsLoopThread() && &sender == &timer;
    ++ticks;
  };
  const auto start = Clock::now();
  timer.SetEnabled(true);
  while (ticks == 0 && Clock::now() - start < std::chrono::seconds(2)) std::this_thread::sleep_for(milliseconds(1));
  EXPECT_LT(Clock::now() - start, milliseconds(200));
  EXPECT_TRUE(on_loop);
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_EQ(ticks, 1);
  std::this_thread::sleep_for(milliseconds(250));
  EXPECT_EQ(ticks, 2);
}

TEST(ThreadTimer, DestroyingADisabledTimerGivesNoTick) {
  LoopThread loop;
  std::atomic<int> ticks{0};
  {
    TThread_timer timer(loop.loop);
    timer.SetInterval(10);
    timer.OnTimer = [&](TThread_timer&) { ++ticks; };
    std::this_thread::sleep_for(milliseconds(100));
  }
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(ticks, 0);
}

TEST(ThreadTimer, DisablingStopsTicksAndEnablingResumesThem) {
  LoopThread loop;
  std::atomic<int> ticks{0};
  TThread_timer timer(loop.loop);
  timer.SetInterval(20);
  timer.OnTimer = [&](TThread_timer&) { ++ticks; };
  timer.SetEnabled(true);
  std::this_thread::sleep_for(milliseconds(150));
  timer.SetEnabled(false);
  std::this_thread::sleep_for(milliseconds(50));
  const int stopped_at = ticks;
  EXPECT_GE(stopped_at, 3);
  std::this_thread::sleep_for(milliseconds(150));
  EXPECT_EQ(ticks, stopped_at);
  timer.SetEnabled(true);
  std::this_thread::sleep_for(milliseconds(150));
  EXPECT_GT(ticks, stopped_at);
}

TEST(ThreadTimer, AHandlerThatAlwaysThrowsIsStillCalledEachInterval) {
  LoopThread loop;
  std::atomic<int> calls{0};
  TThread_timer timer(loop.loop);
  timer.SetInterval(50);
  timer.OnTimer = [&](TThread_timer&) {
    ++calls;
    throw std::runtime_error("handler fails");
  };
  timer.SetEnabled(true);
  std::this_thread::sleep_for(milliseconds(520));
  timer.SetEnabled(false);
  EXPECT_GE(calls, 7);
  EXPECT_LE(calls, 12);
}

// A handler slower than the interval: ticks never overlap and the next one follows
// right after the slow one returns, measured start to start no closer than the interval.
TEST(ThreadTimer, SlowHandlerNeverOverlapsItself) {
  LoopThread loop;
  std::atomic<int> inside{0}, most_inside{0};
  std::vector<Clock::time_point> starts;
  TThread_timer timer(loop.loop);
  timer.SetInterval(30);
  timer.OnTimer = [&](TThread_timer&) {
    int now_inside = ++inside;
    most_inside = std::max(most_inside.load(), now_inside);
    starts.push_back(Clock::now());
    std::this_thread::sleep_for(milliseconds(70));
    --inside;
  };
  timer.SetEnabled(true);
  std::this_thread::sleep_for(milliseconds(600));
  timer.SetEnabled(false);
  loop.loop.Synchronize([] {});  // a tick in progress ends before we read `starts`
  EXPECT_EQ(most_inside, 1);
  ASSERT_GE(starts.size(), 4u);
  for (size_t i = 1; i < starts.size(); ++i) {
    auto gap = starts[i] - starts[i - 1];
    EXPECT_GE(gap, milliseconds(69));
    EXPECT_LT(gap, milliseconds(150));  // the next tick follows about 1 ms later
  }
}

// The destructor waits for a tick in progress: after it returns the handler has ended.
TEST(ThreadTimer, DestructionWaitsForTheRunningTick) {
  LoopThread loop;
  std::atomic<bool> started{false}, finished{false};
  auto timer = std::make_unique<TThread_timer>(loop.loop);
  timer->OnTimer = [&](TThread_timer&) {
    started = true;
    std::this_thread::sleep_for(milliseconds(200));
    finished = true;
  };
  timer->SetEnabled(true);
  while (!started) std::this_thread::sleep_for(milliseconds(1));
  timer.reset();
  EXPECT_TRUE(finished);
}

// Destroying the timer on the loop thread itself (no tick can run meanwhile) must not
// wait for a hand-over that can never be served.
TEST(ThreadTimer, DestructionOnTheLoopThreadDoesNotDeadlock) {
  LoopThread loop;
  auto timer = std::make_unique<TThread_timer>(loop.loop);
  timer->SetInterval(5);
  std::atomic<int> ticks{0};
  timer->OnTimer = [&](TThread_timer&) { ++ticks; };
  timer->SetEnabled(true);
  std::this_thread::sleep_for(milliseconds(50));
  bool done = loop.loop.Synchronize([&] {
    std::this_thread::sleep_for(milliseconds(30));  // let the worker hand over a tick
    timer.reset();
  });
  EXPECT_TRUE(done);
  EXPECT_EQ(timer, nullptr);
}

}  // namespace
}  // namespace kv
