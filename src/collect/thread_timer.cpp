#include "collect/thread_timer.h"

#include <algorithm>
#include <chrono>

#include "platform/clock.h"

namespace kv {

struct TCounterThread::State {
  std::mutex mutex;
  std::condition_variable changed;
  TThread_timer* owner = nullptr;
  bool enabled = false;
  bool terminate = false;
  uint32_t interval = 1000;
  bool tick_pending = false;  // handed to the main loop, not finished
  bool tick_running = false;  // the handler runs now
  std::thread::id tick_thread;
};

namespace {

// Runs on the main loop. The owner is alive while tick_running is set: the destructor
// waits for it to clear.
void RunTick(const std::shared_ptr<TCounterThread::State>& state) {
  TThread_timer* owner = nullptr;
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    if (state->terminate || !state->tick_pending) return;
    if (!state->enabled) {  // disabled after the hand-over: no tick
      state->tick_pending = false;
      state->changed.notify_all();
      return;
    }
    state->tick_running = true;
    state->tick_thread = std::this_thread::get_id();
    owner = state->owner;
  }
  try {
    if (owner != nullptr && owner->OnTimer) owner->OnTimer(*owner);
  } catch (...) {
    // A failing handler does not stop the timer.
  }
  std::lock_guard<std::mutex> lock(state->mutex);
  state->tick_running = false;
  state->tick_pending = false;
  state->tick_thread = std::thread::id();
  state->changed.notify_all();
}

}  // namespace

TCounterThread::TCounterThread(std::shared_ptr<State> state, platform::MainLoop& loop)
    : state_(std::move(state)), loop_(loop), thread_([this] { Execute(); }) {}

TCounterThread::~TCounterThread() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->terminate = true;
    state_->changed.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

void TCounterThread::Execute() {
  std::unique_lock<std::mutex> lock(state_->mutex);
  uint32_t cur_tick = 0, last_tick = 0;
  bool first = true;
  while (!state_->terminate) {
    state_->changed.wait(lock, [this] { return state_->terminate || state_->enabled; });
    if (state_->terminate) break;
    if (first || static_cast<uint32_t>(cur_tick - last_tick) >= state_->interval) {
      first = false;
      // The interval is measured from the start of this tick.
      last_tick = platform::TickCountMs();
      state_->tick_pending = true;
      auto state = state_;
      lock.unlock();
      loop_.Post([state] { RunTick(state); });
      lock.lock();
      state_->changed.wait(lock, [this] { return state_->terminate || !state_->tick_pending; });
      if (state_->terminate) break;
    }
    cur_tick = platform::TickCountMs();
    uint32_t elapsed = cur_tick - last_tick;
    uint32_t wait_ms = elapsed < state_->interval ? state_->interval - elapsed : 1;
    state_->changed.wait_for(lock, std::chrono::milliseconds(std::max<uint32_t>(wait_ms, 1)));
    cur_tick = platform::TickCountMs();
  }
  state_->tick_pending = false;
}

TThread_timer::TThread_timer(platform::MainLoop& loop) : state_(std::make_shared<TCounterThread::State>()) {
  state_->owner = this;
  thread_ = std::make_unique<TCounterThread>(state_, loop);
}

TThread_timer::~TThread_timer() {
  {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->enabled = false;
    state_->terminate = true;
    state_->changed.notify_all();
    if (state_->tick_thread != std::this_thread::get_id())
      state_->changed.wait(lock, [this] { return !state_->tick_running; });
    state_->owner = nullptr;
  }
  thread_.reset();
}

bool TThread_timer::Enabled() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->enabled;
}

void TThread_timer::SetEnabled(bool enabled) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->enabled == enabled) return;
  state_->enabled = enabled;
  state_->changed.notify_all();
}

uint32_t TThread_timer::Interval() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->interval;
}

void TThread_timer::SetInterval(uint32_t interval_ms) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (interval_ms == 0 || interval_ms == state_->interval) return;
  state_->interval = interval_ms;
  state_->changed.notify_all();
}

}  // namespace kv
