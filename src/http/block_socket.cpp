#include "http/block_socket.h"

#include <chrono>
#include <thread>

namespace kv {
namespace {

// On the connection thread's stack; a request line or header line is at most 8 KiB.
constexpr std::size_t kPacketBuffer = 16384;
constexpr int kSendWaitMs = 15000;
constexpr std::size_t kMaxDrainAtClose = 1 << 20;

struct ErrorRow {
  int code;
  const char* text;
};

constexpr ErrorRow kErrorTexts[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on nonsocket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for Socket"},
    {10042, "Protocol not available"},
    {10043, "Protocol not supported"},
    {10044, "Socket not supported"},
    {10045, "Operation not supported on Socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection on reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No Buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after Socket shutdown"},
    {10059, "Too many references:can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name is too long"},
    {10064, "Host is down"},
    {10065, "No route to host"},
    {10066, "Directory is not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disk quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unusable"},
    {10092, "Winsock DLL cannot support this application"},
    {10093, "Winsock not initialized"},
    {10101, "Disconnect"},
    {11001, "Host not found"},
    {11002, "Non authoritative - host not found"},
    {11003, "Non recoverable error"},
    {11004, "Valid name, no data record of requested type"},
};

}  // namespace

std::string SocketErrorText(int code) {
  for (const ErrorRow& row : kErrorTexts)
    if (row.code == code) return row.text;
  return "Other Winsock error (" + std::to_string(code) + ")";
}

void DiscardInputAndClose(platform::SocketHandle handle) {
  char scratch[4096];
  std::size_t drained = 0;
  for (;;) {
    std::size_t waiting = 0, got = 0;
    if (platform::SocketBytesWaiting(handle, waiting) != 0 || waiting == 0) break;
    if (platform::ReceiveSome(handle, scratch, sizeof scratch, got) != 0 || got == 0) break;
    drained += got;
    if (drained > kMaxDrainAtClose) break;
  }
  platform::CloseSocket(handle);
}

TBlockSocket::~TBlockSocket() {
  const platform::SocketHandle rest = ShutdownAndRelease();
  if (rest == platform::kNoSocket) return;
  if (close_pause_ms_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(close_pause_ms_));
  DiscardInputAndClose(rest);
}

platform::SocketHandle TBlockSocket::ShutdownAndRelease() {
  platform::SocketHandle handle = handle_;
  handle_ = platform::kNoSocket;
  LineBuffer.clear();
  if (handle == platform::kNoSocket) return handle;
  if (last_error_ != 0) {
    platform::CloseSocket(handle);
    return platform::kNoSocket;
  }
  platform::ShutdownSending(handle);
  return handle;
}

void TBlockSocket::SetLingerOption(bool enable, int milliseconds) {
  linger_on_ = enable;
  linger_seconds_ = milliseconds / 1000;
  last_error_ = 0;
}

void TBlockSocket::Bind(const std::string& address, const std::string& port) {
  if (handle_ != platform::kNoSocket) {
    last_error_ = 10022;  // already bound
    return;
  }
  last_error_ = platform::BindTcpSocket(address, port, linger_on_, linger_seconds_, handle_);
}

void TBlockSocket::Connect(const std::string& address, const std::string& port) {
  if (handle_ != platform::kNoSocket) {
    last_error_ = 10056;
    return;
  }
  last_error_ = platform::ConnectTcpSocket(address, port, handle_);
}

bool TBlockSocket::WaitReadable(int timeout_ms) {
  bool ready = false;
  last_error_ = handle_ == platform::kNoSocket ? 10038
                                               : platform::WaitSocketReadable(handle_, timeout_ms, ready);
  return last_error_ == 0 && ready;
}

std::string TBlockSocket::ReceivePacket(int timeout_ms) {
  if (handle_ == platform::kNoSocket) {
    last_error_ = 10038;
    return {};
  }
  // Received straight away: a request has mostly arrived by the time it is read, and a
  // first look at the byte count would cost a call each time.
  char buffer[kPacketBuffer];
  std::size_t got = 0;
  last_error_ = platform::ReceiveSome(handle_, buffer, sizeof buffer, got);
  if (last_error_ == platform::kSockWouldBlock) {
    bool ready = false;
    if ((last_error_ = platform::WaitSocketReadable(handle_, timeout_ms, ready)) != 0) return {};
    if (!ready) {
      last_error_ = platform::kSockTimedOut;
      return {};
    }
    last_error_ = platform::ReceiveSome(handle_, buffer, sizeof buffer, got);
  }
  if (last_error_ == 0 && got == 0) last_error_ = platform::kSockConnReset;
  if (last_error_ != 0) return {};
  return std::string(buffer, got);
}

void TBlockSocket::SendParts(std::initializer_list<std::string_view> parts) {
  last_error_ = handle_ == platform::kNoSocket ? 10038 : 0;
  platform::SendPart left[platform::kMaxSendParts];
  std::size_t count = 0;
  for (std::string_view part : parts)
    if (!part.empty() && count < platform::kMaxSendParts) left[count++] = {part.data(), part.size()};
  std::size_t first = 0;  // the first part not sent in full
  while (last_error_ == 0 && first < count) {
    std::size_t sent = 0;
    const int err = platform::SendSomeParts(handle_, left + first, count - first, sent);
    if (err == platform::kSockWouldBlock) {
      bool ready = false;
      last_error_ = platform::WaitSocketWritable(handle_, kSendWaitMs, ready);
      if (last_error_ == 0 && !ready) last_error_ = platform::kSockTimedOut;
      continue;
    }
    last_error_ = err;
    for (; first < count && sent >= left[first].size; ++first) sent -= left[first].size;
    if (first < count) {
      left[first].data += sent;
      left[first].size -= sent;
    }
  }
}

void TBlockSocket::SendNoWait(const std::string& text) {
  std::size_t sent = 0;
  last_error_ = handle_ == platform::kNoSocket ? 10038
                                               : platform::SendSome(handle_, text.data(), text.size(), sent);
  if (last_error_ == platform::kSockWouldBlock) last_error_ = 0;
}

int TBlockSocket::LocalPort() {
  int port = 0;
  last_error_ = handle_ == platform::kNoSocket ? 10038 : platform::SocketLocalPort(handle_, port);
  return port;
}

void TTCPBlockSocket::Listen() {
  last_error_ = handle_ == platform::kNoSocket ? 10038 : platform::ListenSocket(handle_);
}

platform::SocketHandle TTCPBlockSocket::AcceptConnection(std::string& peer_address) {
  platform::SocketHandle accepted = platform::kNoSocket;
  last_error_ = handle_ == platform::kNoSocket
                    ? 10038
                    : platform::AcceptSocket(handle_, accepted, peer_address);
  return accepted;
}

}  // namespace kv
