#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <mutex>
#include <vector>

#include "platform/socket.h"

namespace kv::platform {
namespace {

int LastError() { return WSAGetLastError(); }

SOCKET Raw(SocketHandle h) { return static_cast<SOCKET>(h); }

struct AddrInfoList {
  addrinfo* head = nullptr;
  ~AddrInfoList() {
    if (head != nullptr) freeaddrinfo(head);
  }
};

int Resolve(const std::string& address, const std::string& port, int flags, AddrInfoList& out) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = flags;
  int r = getaddrinfo(address.c_str(), port.c_str(), &hints, &out.head);
  return r == 0 ? 0 : (LastError() != 0 ? LastError() : r);
}

// Sockets must not leak into the console processes the collection starts.
void NotInherited(SOCKET s) {
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
}

int SetNonBlocking(SOCKET s) {
  u_long on = 1;
  return ioctlsocket(s, FIONBIO, &on) == 0 ? 0 : LastError();
}

int WaitFor(SocketHandle handle, bool write, int timeout_ms, bool& ready) {
  ready = false;
  fd_set set;
  FD_ZERO(&set);
  FD_SET(Raw(handle), &set);
  fd_set except_set;
  FD_ZERO(&except_set);
  FD_SET(Raw(handle), &except_set);
  timeval tv{};
  if (timeout_ms > 0) {
    tv.tv_sec = timeout_ms / 1000;
    tv.tv_usec = (timeout_ms % 1000) * 1000;
  }
  int r = select(0, write ? nullptr : &set, write ? &set : nullptr, &except_set, &tv);
  if (r == SOCKET_ERROR) return LastError();
  ready = r > 0;
  return 0;
}

}  // namespace

bool LoadSocketLibrary() {
  static std::once_flag once;
  static bool loaded = false;
  std::call_once(once, [] {
    WSADATA data{};
    loaded = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  });
  return loaded;
}

int BindTcpSocket(const std::string& address, const std::string& port, bool linger_on,
                  int linger_seconds, SocketHandle& handle) {
  handle = kNoSocket;
  AddrInfoList list;
  if (int err = Resolve(address, port, AI_PASSIVE | AI_NUMERICSERV, list)) return err;
  if (list.head == nullptr) return 11001;
  const addrinfo* a = list.head;
  SOCKET s = WSASocketW(a->ai_family, a->ai_socktype, a->ai_protocol, nullptr, 0, 0);
  if (s == INVALID_SOCKET) return LastError();
  NotInherited(s);
  linger lg{};
  lg.l_onoff = linger_on ? 1 : 0;
  lg.l_linger = static_cast<u_short>(linger_seconds);
  // No address-sharing options: a port in use then fails with "Address already in use".
  if (setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&lg), sizeof lg) != 0 ||
      bind(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
    int err = LastError();
    closesocket(s);
    return err;
  }
  if (int err = SetNonBlocking(s)) {
    closesocket(s);
    return err;
  }
  handle = static_cast<SocketHandle>(s);
  return 0;
}

int ConnectTcpSocket(const std::string& address, const std::string& port, SocketHandle& handle) {
  handle = kNoSocket;
  AddrInfoList list;
  if (int err = Resolve(address, port, AI_NUMERICSERV, list)) return err;
  if (list.head == nullptr) return 11001;
  const addrinfo* a = list.head;
  SOCKET s = WSASocketW(a->ai_family, a->ai_socktype, a->ai_protocol, nullptr, 0, 0);
  if (s == INVALID_SOCKET) return LastError();
  NotInherited(s);
  int err = connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0 ? SetNonBlocking(s)
                                                                        : LastError();
  if (err != 0) {
    closesocket(s);
    return err;
  }
  handle = static_cast<SocketHandle>(s);
  return 0;
}

int ListenSocket(SocketHandle handle) {
  return listen(Raw(handle), SOMAXCONN) == 0 ? 0 : LastError();
}

int AcceptSocket(SocketHandle listener, SocketHandle& accepted, std::string& peer_address) {
  accepted = kNoSocket;
  peer_address.clear();
  sockaddr_storage peer{};
  int len = sizeof peer;
  SOCKET s = accept(Raw(listener), reinterpret_cast<sockaddr*>(&peer), &len);
  if (s == INVALID_SOCKET) return LastError();
  NotInherited(s);
  // Accepted sockets inherit the listener's options; a zero linger would turn every close
  // into a reset that throws away response bytes still queued.
  linger lg{};
  BOOL one = TRUE;
  setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&lg), sizeof lg);
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  if (int err = SetNonBlocking(s)) {
    closesocket(s);
    return err;
  }
  char text[INET6_ADDRSTRLEN] = {};
  if (getnameinfo(reinterpret_cast<sockaddr*>(&peer), len, text, sizeof text, nullptr, 0,
                  NI_NUMERICHOST) == 0)
    peer_address = text;
  accepted = static_cast<SocketHandle>(s);
  return 0;
}

int WaitSocketReadable(SocketHandle handle, int timeout_ms, bool& ready) {
  return WaitFor(handle, false, timeout_ms, ready);
}

int WaitSocketWritable(SocketHandle handle, int timeout_ms, bool& ready) {
  return WaitFor(handle, true, timeout_ms, ready);
}

int WaitSocketsReadable(const SocketHandle* handles, std::size_t count, int timeout_ms, bool* ready) {
  // WSAPoll, not select: an fd_set holds 64 sockets.
  std::vector<WSAPOLLFD> set(count);
  for (std::size_t i = 0; i < count; ++i) {
    set[i].fd = Raw(handles[i]);
    set[i].events = POLLRDNORM;
    ready[i] = false;
  }
  if (WSAPoll(set.data(), static_cast<ULONG>(count), timeout_ms < 0 ? 0 : timeout_ms) == SOCKET_ERROR)
    return LastError();
  for (std::size_t i = 0; i < count; ++i) ready[i] = set[i].revents != 0;
  return 0;
}

int SocketBytesWaiting(SocketHandle handle, std::size_t& count) {
  u_long n = 0;
  count = 0;
  if (ioctlsocket(Raw(handle), FIONREAD, &n) != 0) return LastError();
  count = n;
  return 0;
}

int ReceiveSome(SocketHandle handle, char* buffer, std::size_t size, std::size_t& received) {
  received = 0;
  int want = size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size);
  int n = recv(Raw(handle), buffer, want, 0);
  if (n == SOCKET_ERROR) return LastError();
  received = static_cast<std::size_t>(n);
  return 0;
}

int SendSome(SocketHandle handle, const char* data, std::size_t size, std::size_t& sent) {
  sent = 0;
  int want = size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size);
  int n = send(Raw(handle), data, want, 0);
  if (n == SOCKET_ERROR) return LastError();
  sent = static_cast<std::size_t>(n);
  return 0;
}

int SendSomeParts(SocketHandle handle, const SendPart* parts, std::size_t count, std::size_t& sent) {
  sent = 0;
  WSABUF buffers[kMaxSendParts];
  if (count > kMaxSendParts) count = kMaxSendParts;
  DWORD used = 0;
  for (std::size_t i = 0; i < count; ++i) {
    // WSABUF lengths are 32-bit; a longer part goes in the next call.
    const std::size_t size = parts[i].size > 0x7fffffff ? 0x7fffffff : parts[i].size;
    buffers[used].buf = const_cast<char*>(parts[i].data);
    buffers[used].len = static_cast<ULONG>(size);
    ++used;
    if (size != parts[i].size) break;
  }
  DWORD n = 0;
  if (WSASend(Raw(handle), buffers, used, &n, 0, nullptr, nullptr) == SOCKET_ERROR) return LastError();
  sent = static_cast<std::size_t>(n);
  return 0;
}

int ShutdownSending(SocketHandle handle) {
  return shutdown(Raw(handle), SD_SEND) == 0 ? 0 : LastError();
}

void CloseSocket(SocketHandle handle) {
  if (handle != kNoSocket) closesocket(Raw(handle));
}

int SocketLocalPort(SocketHandle handle, int& port) {
  port = 0;
  sockaddr_storage local{};
  int len = sizeof local;
  if (getsockname(Raw(handle), reinterpret_cast<sockaddr*>(&local), &len) != 0) return LastError();
  if (local.ss_family == AF_INET6)
    port = ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port);
  else
    port = ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
  return 0;
}

std::string LocalHostAddress() {
  char name[256] = {};
  std::string host = "127.0.0.1";
  if (gethostname(name, sizeof name - 1) == 0 && name[0] != '\0') host = name;
  AddrInfoList list;
  addrinfo hints{};
  // IPv4 only: the listener binds 0.0.0.0, and the first address of any family is often
  // a link-local IPv6 one ("fe80::1%12") that the server does not answer on.
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &list.head) != 0 || list.head == nullptr)
    return "0.0.0.0";
  char text[INET6_ADDRSTRLEN] = {};
  if (getnameinfo(list.head->ai_addr, static_cast<socklen_t>(list.head->ai_addrlen), text,
                  sizeof text, nullptr, 0, NI_NUMERICHOST) != 0)
    return "0.0.0.0";
  return text;
}

}  // namespace kv::platform
