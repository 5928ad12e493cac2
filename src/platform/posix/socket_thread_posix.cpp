#include <pthread.h>

#include <memory>

#include "platform/socket_thread.h"

namespace kv::platform {
namespace {

void* RunBody(void* arg) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(arg));
  try {
    (*body)();
  } catch (...) {
    // A thread body owns its error handling; nothing may escape into the runtime.
  }
  return nullptr;
}

}  // namespace

bool StartDetachedThread(std::function<void()> body, std::size_t stack_bytes) {
  auto heap_body = std::make_unique<std::function<void()>>(std::move(body));
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  if (stack_bytes < PTHREAD_STACK_MIN) stack_bytes = PTHREAD_STACK_MIN;
  pthread_attr_setstacksize(&attr, stack_bytes);
  pthread_t thread;
  int r = pthread_create(&thread, &attr, RunBody, heap_body.get());
  pthread_attr_destroy(&attr);
  if (r != 0) return false;
  heap_body.release();
  return true;
}

}  // namespace kv::platform
