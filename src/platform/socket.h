#pragma once
// The operating system's TCP sockets, reduced to what the HTTP server needs.
//
// Every call returns 0 on success or an error number in Windows Sockets numbering
// (10035 would block, 10048 address in use, 10054 reset, 10060 timed out, 11001 host
// not found, ...). On Windows these are the system's own numbers; elsewhere errno and
// resolver codes are mapped to them, so error texts read the same on every platform.
//
// Sockets are created non-blocking and not inherited by child processes. A handle is
// owned by whoever holds it and must be closed with CloseSocket exactly once.
// All functions may be called from any thread.
#include <cstddef>
#include <cstdint>
#include <string>

namespace kv::platform {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

// Winsock error numbers the layers above test for.
inline constexpr int kSockWouldBlock = 10035;
inline constexpr int kSockMessageTooLong = 10040;
inline constexpr int kSockConnReset = 10054;
inline constexpr int kSockTimedOut = 10060;
inline constexpr int kSockNotInitialised = 10093;

// Loads the socket library (Windows Sockets 2.2). Returns false when it cannot be loaded.
// Safe to call more than once; a no-op returning true where no such step exists.
bool LoadSocketLibrary();

// Resolves `address`:`port`, creates a TCP socket of that family, applies the linger
// option (on/off and whole seconds) and binds. On success `handle` owns the new socket.
int BindTcpSocket(const std::string& address, const std::string& port, bool linger_on,
                  int linger_seconds, SocketHandle& handle);

// Blocking connect used by clients (tests, probes); the returned socket is non-blocking.
int ConnectTcpSocket(const std::string& address, const std::string& port, SocketHandle& handle);

int ListenSocket(SocketHandle handle);

// Accepts one pending connection. The accepted socket is non-blocking, has linger off
// (a close never discards queued data) and Nagle off. `peer_address` is its numeric
// address ("127.0.0.2", "::1").
int AcceptSocket(SocketHandle listener, SocketHandle& accepted, std::string& peer_address);

// `ready` tells whether the socket became readable (writable) within `timeout_ms`.
int WaitSocketReadable(SocketHandle handle, int timeout_ms, bool& ready);
int WaitSocketWritable(SocketHandle handle, int timeout_ms, bool& ready);

// Waits up to `timeout_ms` until any of `handles` is readable (bytes, the peer's close or
// an error wait there); `ready[i]` tells which. At least one handle; no upper bound.
int WaitSocketsReadable(const SocketHandle* handles, std::size_t count, int timeout_ms, bool* ready);

// Bytes that can be received at once without waiting.
int SocketBytesWaiting(SocketHandle handle, std::size_t& count);

// One receive / send call; kSockWouldBlock when nothing can be done without waiting.
int ReceiveSome(SocketHandle handle, char* buffer, std::size_t size, std::size_t& received);
int SendSome(SocketHandle handle, const char* data, std::size_t size, std::size_t& sent);

// One gather send of `parts` in order (sendmsg / WSASend), so a response head and its
// body leave in one call; at most kMaxSendParts parts. `sent` counts bytes over all parts.
struct SendPart {
  const char* data;
  std::size_t size;
};
inline constexpr std::size_t kMaxSendParts = 8;
int SendSomeParts(SocketHandle handle, const SendPart* parts, std::size_t count, std::size_t& sent);

int ShutdownSending(SocketHandle handle);
void CloseSocket(SocketHandle handle);

// Port the socket is bound to.
int SocketLocalPort(SocketHandle handle, int& port);

// The first IPv4 address the computer's host name resolves to; "0.0.0.0" when it has
// none (the name "127.0.0.1" is used when the system gives none).
std::string LocalHostAddress();

}  // namespace kv::platform
