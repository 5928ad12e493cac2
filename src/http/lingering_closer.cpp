#include "http/lingering_closer.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "http/block_socket.h"
#include "platform/socket_thread.h"

namespace kv {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kCloserStack = 64 * 1024;
// Sockets past their time that a caller of Close closes itself: under load the closing
// thread may get too little time to keep up, and the descriptors must not pile up.
constexpr std::size_t kHelpPerClose = 2;
// As for the connection workers: an idle service holds no thread for closing.
constexpr auto kCloserIdle = std::chrono::seconds(2);

}  // namespace

struct TLingeringCloser::Queue {
  struct Entry {
    platform::SocketHandle handle;
    Clock::time_point due;
  };

  explicit Queue(std::chrono::milliseconds wait) : pause(wait) {}
  void Run();

  const std::chrono::milliseconds pause;
  std::mutex lock;
  std::condition_variable wake;  // told when a socket comes to an empty queue
  std::deque<Entry> sockets;     // in hand-over order, so in order of due time
  bool running = false;          // a thread serves `sockets`
};

TLingeringCloser::TLingeringCloser(std::chrono::milliseconds pause)
    : queue_(std::make_shared<Queue>(pause)) {}

void TLingeringCloser::Close(platform::SocketHandle handle) {
  bool start = false;
  bool was_empty = false;
  platform::SocketHandle overdue[kHelpPerClose];
  std::size_t overdue_count = 0;
  {
    std::lock_guard<std::mutex> guard(queue_->lock);
    const Clock::time_point now = Clock::now();
    std::deque<Queue::Entry>& sockets = queue_->sockets;
    while (overdue_count < kHelpPerClose && !sockets.empty() && sockets.front().due <= now) {
      overdue[overdue_count++] = sockets.front().handle;
      sockets.pop_front();
    }
    was_empty = sockets.empty();
    sockets.push_back({handle, now + queue_->pause});
    start = !queue_->running;
    queue_->running = true;
  }
  for (std::size_t i = 0; i < overdue_count; ++i) DiscardInputAndClose(overdue[i]);
  if (!start) {
    // Otherwise the thread is waiting for an earlier socket's time and sees this one then.
    if (was_empty) queue_->wake.notify_one();
    return;
  }
  std::shared_ptr<Queue> keep = queue_;
  if (platform::StartDetachedThread([keep] { keep->Run(); }, kCloserStack)) return;
  // No thread: this caller closes what is queued, pausing as a worker would.
  std::deque<Queue::Entry> left;
  {
    std::lock_guard<std::mutex> guard(queue_->lock);
    left.swap(queue_->sockets);
    queue_->running = false;
  }
  for (const Queue::Entry& entry : left) {
    std::this_thread::sleep_until(entry.due);
    DiscardInputAndClose(entry.handle);
  }
}

void TLingeringCloser::Queue::Run() {
  std::vector<platform::SocketHandle> due_now;
  std::unique_lock<std::mutex> guard(lock);
  for (;;) {
    if (sockets.empty() && !wake.wait_for(guard, kCloserIdle, [this] { return !sockets.empty(); })) {
      running = false;
      return;
    }
    const Clock::time_point now = Clock::now();
    if (now < sockets.front().due) {
      // A copy: the wait reads its deadline again after waking, and a closing worker may
      // have taken the front entry (and freed it) meanwhile.
      const Clock::time_point due = sockets.front().due;
      wake.wait_until(guard, due);
      continue;
    }
    while (!sockets.empty() && sockets.front().due <= now) {
      due_now.push_back(sockets.front().handle);
      sockets.pop_front();
    }
    guard.unlock();
    for (platform::SocketHandle handle : due_now) DiscardInputAndClose(handle);
    due_now.clear();
    guard.lock();
  }
}

}  // namespace kv
