#include "platform/main_loop.h"

#include <memory>

namespace kv::platform {

void MainLoop::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  loop_thread_ = std::this_thread::get_id();
  for (;;) {
    wake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
    if (quit_) break;
    std::function<void()> work = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    try {
      work();
    } catch (...) {
      // Work items guard themselves; nothing may end the loop.
    }
    lock.lock();
  }
  // Wake every waiter in Synchronize: their work will never run.
  queue_.clear();
  loop_thread_ = std::thread::id();
}

void MainLoop::Quit() {
  std::lock_guard<std::mutex> lock(mutex_);
  quit_ = true;
  wake_.notify_all();
}

void MainLoop::Post(std::function<void()> fn) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (quit_) return;
  queue_.push_back(std::move(fn));
  wake_.notify_all();
}

bool MainLoop::IsLoopThread() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return loop_thread_ == std::this_thread::get_id();
}

bool MainLoop::Synchronize(const std::function<void()>& fn) {
  if (IsLoopThread()) {
    try {
      fn();
    } catch (...) {
    }
    return true;
  }
  struct Done {
    std::mutex m;
    std::condition_variable cv;
    bool ran = false;
    bool finished = false;
  };
  auto done = std::make_shared<Done>();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (quit_) return false;
    queue_.push_back([done, &fn] {
      try {
        fn();
      } catch (...) {
      }
      std::lock_guard<std::mutex> l(done->m);
      done->ran = true;
      done->finished = true;
      done->cv.notify_all();
    });
    wake_.notify_all();
  }
  std::unique_lock<std::mutex> wait_lock(done->m);
  // Wake up now and then to notice a loop that quit with our work still queued.
  while (!done->finished) {
    done->cv.wait_for(wait_lock, std::chrono::milliseconds(100));
    if (!done->finished) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (quit_) {
        // The loop may be running our item right now; Run() only clears the queue after
        // its current item ends, so wait for a clear verdict.
        if (loop_thread_ == std::thread::id()) break;
      }
    }
  }
  return done->ran;
}

}  // namespace kv::platform
