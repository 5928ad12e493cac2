#pragma once
// The program's main thread: a queue of posted work run in order on one thread.
//
// The timer hands its tick over, so collection and rendering never run concurrently.
// Run() is called on the loop thread and returns after Quit(). Post and Synchronize may be
// called from any thread. Synchronize from the loop thread itself runs fn directly.
// After Quit(), Post drops its work and Synchronize returns false without running fn.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace kv::platform {

class MainLoop {
 public:
  MainLoop() = default;
  MainLoop(const MainLoop&) = delete;
  MainLoop& operator=(const MainLoop&) = delete;

  void Run();
  void Quit();
  void Post(std::function<void()> fn);
  // Runs fn on the loop thread and waits until it has run. An exception from fn is
  // swallowed there. Returns false when the loop has quit (fn not run).
  bool Synchronize(const std::function<void()>& fn);
  bool IsLoopThread() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> queue_;
  bool quit_ = false;
  std::thread::id loop_thread_;
};

}  // namespace kv::platform
