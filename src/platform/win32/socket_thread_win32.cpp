#include <windows.h>

#include <memory>

#include "platform/socket_thread.h"

namespace kv::platform {
namespace {

DWORD WINAPI RunBody(LPVOID arg) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(arg));
  try {
    (*body)();
  } catch (...) {
    // A thread body owns its error handling; nothing may escape into the runtime.
  }
  return 0;
}

}  // namespace

bool StartDetachedThread(std::function<void()> body, std::size_t stack_bytes) {
  auto heap_body = std::make_unique<std::function<void()>>(std::move(body));
  HANDLE thread = CreateThread(nullptr, stack_bytes, RunBody, heap_body.get(),
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) return false;
  heap_body.release();
  CloseHandle(thread);
  return true;
}

}  // namespace kv::platform
