#pragma once
// Detached worker threads with a chosen stack size, for the HTTP connection threads:
// hundreds of them may run at once, so each reserves a small stack only.
#include <cstddef>
#include <functional>

namespace kv::platform {

// Starts `body` on a new detached thread. Returns false when the thread cannot be
// created (the body is then not run).
bool StartDetachedThread(std::function<void()> body, std::size_t stack_bytes);

}  // namespace kv::platform
