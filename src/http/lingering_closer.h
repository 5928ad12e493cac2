#pragma once
// TLingeringCloser: the end of a graceful close, off the connection workers. A socket is
// handed over once its answer is sent and its sending direction shut down; the closer
// waits the close pause for the client's last bytes, reads what has arrived and closes
// it (DiscardInputAndClose), so a worker is free for the next connection at once.
//
// Sockets are closed in the order they were handed over, each no earlier than the pause
// after its hand-over. One thread serves all of them; it starts with the first socket and
// ends after two seconds without one. Each Close also closes up to two sockets already
// past their time, so they cannot pile up while that thread waits for the CPU. Sockets
// handed over are closed even when the object is destroyed first.
//
// Thread-safe.
#include <chrono>
#include <memory>

#include "platform/socket.h"

namespace kv {

class TLingeringCloser {
 public:
  explicit TLingeringCloser(std::chrono::milliseconds pause = std::chrono::milliseconds(1));

  // Takes ownership of `handle`, whose sending direction is shut down.
  void Close(platform::SocketHandle handle);

  struct Queue;

 private:
  std::shared_ptr<Queue> queue_;  // shared with the closing thread
};

}  // namespace kv
