#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

#include "platform/socket.h"

namespace kv::platform {
namespace {

// errno in Windows Sockets numbering, so that one text table serves both platforms.
int MapErrno(int e) {
  switch (e) {
    case 0: return 0;
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES: case EPERM: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: case ENFILE: return 10024;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
      return 10035;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: case EPIPE: return 10054;
    case ENOBUFS: case ENOMEM: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOTEMPTY: return 10066;
    case EUSERS: return 10068;
    case EDQUOT: return 10069;
    case ESTALE: return 10070;
    case EREMOTE: return 10071;
    default: return 20000 + e;  // no Winsock counterpart: "Other Winsock error"
  }
}

int LastError() { return MapErrno(errno); }

int MapResolverError(int code) {
  switch (code) {
    case 0: return 0;
    case EAI_NONAME: return 11001;
    case EAI_AGAIN: return 11002;
    case EAI_FAIL: return 11003;
#ifdef EAI_NODATA
    case EAI_NODATA: return 11004;
#endif
    case EAI_FAMILY: return 10047;
    case EAI_MEMORY: return 10055;
    case EAI_SYSTEM: return LastError();
    default: return 11003;
  }
}

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
  return MapResolverError(getaddrinfo(address.c_str(), port.c_str(), &hints, &out.head));
}

int SetNonBlocking(int fd) {
  int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return LastError();
  return 0;
}

int WaitFor(SocketHandle handle, short events, int timeout_ms, bool& ready) {
  ready = false;
  pollfd p{};
  p.fd = static_cast<int>(handle);
  p.events = events;
  for (;;) {
    int r = poll(&p, 1, timeout_ms < 0 ? 0 : timeout_ms);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return LastError();
    ready = r > 0;
    return 0;
  }
}

}  // namespace

bool LoadSocketLibrary() { return true; }

int BindTcpSocket(const std::string& address, const std::string& port, bool linger_on,
                  int linger_seconds, SocketHandle& handle) {
  handle = kNoSocket;
  AddrInfoList list;
  if (int err = Resolve(address, port, AI_PASSIVE | AI_NUMERICSERV, list)) return err;
  if (list.head == nullptr) return 11001;
  const addrinfo* a = list.head;
  int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
  if (fd < 0) return LastError();
  linger lg{};
  lg.l_onoff = linger_on ? 1 : 0;
  lg.l_linger = linger_seconds;
  int one = 1;
  // SO_REUSEADDR lets a restarted service bind while old connections sit in TIME_WAIT;
  // on Linux it still refuses a port that another socket listens on.
  if (setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg) != 0 ||
      setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
      bind(fd, a->ai_addr, a->ai_addrlen) != 0) {
    int err = LastError();
    close(fd);
    return err;
  }
  handle = fd;
  return 0;
}

int ConnectTcpSocket(const std::string& address, const std::string& port, SocketHandle& handle) {
  handle = kNoSocket;
  AddrInfoList list;
  if (int err = Resolve(address, port, AI_NUMERICSERV, list)) return err;
  if (list.head == nullptr) return 11001;
  const addrinfo* a = list.head;
  int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
  if (fd < 0) return LastError();
  int r;
  do {
    r = connect(fd, a->ai_addr, a->ai_addrlen);
  } while (r != 0 && errno == EINTR);
  int err = r == 0 ? SetNonBlocking(fd) : LastError();
  if (err != 0) {
    close(fd);
    return err;
  }
  handle = fd;
  return 0;
}

int ListenSocket(SocketHandle handle) {
  return listen(static_cast<int>(handle), SOMAXCONN) == 0 ? 0 : LastError();
}

int AcceptSocket(SocketHandle listener, SocketHandle& accepted, std::string& peer_address) {
  accepted = kNoSocket;
  peer_address.clear();
  sockaddr_storage peer{};
  socklen_t len = sizeof peer;
  int fd = accept4(static_cast<int>(listener), reinterpret_cast<sockaddr*>(&peer), &len,
                   SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd < 0) return LastError();
  // Accepted sockets inherit the listener's options; a zero linger would turn every close
  // into a reset that throws away response bytes still queued.
  linger lg{};
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  char text[INET6_ADDRSTRLEN] = {};
  if (getnameinfo(reinterpret_cast<sockaddr*>(&peer), len, text, sizeof text, nullptr, 0,
                  NI_NUMERICHOST) == 0)
    peer_address = text;
  accepted = fd;
  return 0;
}

int WaitSocketReadable(SocketHandle handle, int timeout_ms, bool& ready) {
  return WaitFor(handle, POLLIN, timeout_ms, ready);
}

int WaitSocketWritable(SocketHandle handle, int timeout_ms, bool& ready) {
  return WaitFor(handle, POLLOUT, timeout_ms, ready);
}

int WaitSocketsReadable(const SocketHandle* handles, std::size_t count, int timeout_ms, bool* ready) {
  std::vector<pollfd> set(count);
  for (std::size_t i = 0; i < count; ++i) {
    set[i].fd = static_cast<int>(handles[i]);
    set[i].events = POLLIN;
    ready[i] = false;
  }
  int r;
  do {
    r = poll(set.data(), set.size(), timeout_ms < 0 ? 0 : timeout_ms);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return LastError();
  for (std::size_t i = 0; i < count; ++i) ready[i] = set[i].revents != 0;
  return 0;
}

int SocketBytesWaiting(SocketHandle handle, std::size_t& count) {
  int n = 0;
  count = 0;
  if (ioctl(static_cast<int>(handle), FIONREAD, &n) != 0) return LastError();
  count = n > 0 ? static_cast<std::size_t>(n) : 0;
  return 0;
}

int ReceiveSome(SocketHandle handle, char* buffer, std::size_t size, std::size_t& received) {
  received = 0;
  for (;;) {
    ssize_t n = recv(static_cast<int>(handle), buffer, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LastError();
    received = static_cast<std::size_t>(n);
    return 0;
  }
}

int SendSome(SocketHandle handle, const char* data, std::size_t size, std::size_t& sent) {
  sent = 0;
  for (;;) {
    ssize_t n = send(static_cast<int>(handle), data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LastError();
    sent = static_cast<std::size_t>(n);
    return 0;
  }
}

int SendSomeParts(SocketHandle handle, const SendPart* parts, std::size_t count, std::size_t& sent) {
  sent = 0;
  iovec vec[kMaxSendParts];
  if (count > kMaxSendParts) count = kMaxSendParts;
  for (std::size_t i = 0; i < count; ++i) vec[i] = {const_cast<char*>(parts[i].data), parts[i].size};
  msghdr message{};
  message.msg_iov = vec;
  message.msg_iovlen = count;
  for (;;) {
    ssize_t n = sendmsg(static_cast<int>(handle), &message, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LastError();
    sent = static_cast<std::size_t>(n);
    return 0;
  }
}

int ShutdownSending(SocketHandle handle) {
  return shutdown(static_cast<int>(handle), SHUT_WR) == 0 ? 0 : LastError();
}

void CloseSocket(SocketHandle handle) {
  if (handle != kNoSocket) close(static_cast<int>(handle));
}

int SocketLocalPort(SocketHandle handle, int& port) {
  port = 0;
  sockaddr_storage local{};
  socklen_t len = sizeof local;
  if (getsockname(static_cast<int>(handle), reinterpret_cast<sockaddr*>(&local), &len) != 0)
    return LastError();
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
  if (getnameinfo(list.head->ai_addr, list.head->ai_addrlen, text, sizeof text, nullptr, 0,
                  NI_NUMERICHOST) != 0)
    return "0.0.0.0";
  return text;
}

}  // namespace kv::platform
