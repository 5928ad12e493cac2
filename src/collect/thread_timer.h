#pragma once
// A timer whose ticks run on the program's main thread.
//
// TThread_timer owns a worker, TCounterThread, that measures the interval on the system
// tick count (unsigned 32-bit arithmetic, so the wrap after ~49.7 days is harmless) and
// hands each tick to the main loop, then waits until it has run there. Ticks are at least
// Interval apart from start to start, never overlap and never queue up: a handler slower
// than the interval is followed by the next tick right after it returns. The first tick
// comes at once after the first enable.
//
// Setters and the destructor may be called from any thread. The destructor disables the
// timer and waits for a tick in progress to end (unless called from that tick itself);
// a tick handed over but not yet started is dropped.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/main_loop.h"

namespace kv {

class TThread_timer;

// The worker of a TThread_timer; created with it and ended by its destructor.
class TCounterThread {
 public:
  struct State;
  TCounterThread(std::shared_ptr<State> state, platform::MainLoop& loop);
  TCounterThread(const TCounterThread&) = delete;
  TCounterThread& operator=(const TCounterThread&) = delete;
  ~TCounterThread();  // sets the terminate flag and joins

 private:
  void Execute();
  std::shared_ptr<State> state_;
  platform::MainLoop& loop_;
  std::thread thread_;
};

class TThread_timer {
 public:
  explicit TThread_timer(platform::MainLoop& loop);
  TThread_timer(const TThread_timer&) = delete;
  TThread_timer& operator=(const TThread_timer&) = delete;
  ~TThread_timer();

  // Called on the main thread with the timer as sender. Set it before enabling.
  // An exception it raises is swallowed; the next tick comes as usual.
  std::function<void(TThread_timer&)> OnTimer;

  bool Enabled() const;
  void SetEnabled(bool enabled);
  uint32_t Interval() const;
  void SetInterval(uint32_t interval_ms);  // 0 keeps the current interval

 private:
  std::shared_ptr<TCounterThread::State> state_;
  std::unique_ptr<TCounterThread> thread_;
};

}  // namespace kv
