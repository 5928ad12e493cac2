#pragma once
// TBlockSocket / TTCPBlockSocket: blocking-style TCP I/O with time-outs for the HTTP
// server, on top of the platform sockets.
//
// Every operation sets LastError (0 = success, otherwise a Windows Sockets error number)
// and LastErrorText gives its fixed English text. Receives wait per packet: each wait for
// more data gets the full time-out again. Bytes received but not yet consumed by a line or
// block read stay in LineBuffer. Only CR LF ends a line.
//
// Destroying a socket without a pending error closes gracefully: the sending direction is
// shut down, data already received is discarded, then the socket is closed (never a reset
// while response bytes are queued). With an error pending it is closed at once.
//
// One object belongs to one thread.
#include <cstddef>
#include <string>

#include "platform/socket.h"

namespace kv {

// Text of a Windows Sockets error number; "Other Winsock error (N)" for unknown numbers.
std::string SocketErrorText(int code);

class TBlockSocket {
 public:
  TBlockSocket() = default;
  // Adopts an accepted platform socket.
  explicit TBlockSocket(platform::SocketHandle handle) : handle_(handle) {}
  ~TBlockSocket();
  TBlockSocket(const TBlockSocket&) = delete;
  TBlockSocket& operator=(const TBlockSocket&) = delete;

  // Recorded now, applied when the platform socket is created (seconds = ms div 1000).
  void SetLingerOption(bool enable, int milliseconds);
  void Bind(const std::string& address, const std::string& port);
  void Connect(const std::string& address, const std::string& port);

  bool WaitReadable(int timeout_ms);

  // All of LineBuffer if it holds anything; else the bytes waiting (at most 64 KiB),
  // after waiting up to timeout_ms: 10060 when nothing arrives, 10054 when the peer closed.
  std::string RecvPacket(int timeout_ms);
  // Text before the first `terminator`; the rest stays in LineBuffer. On error returns ""
  // with the bytes received so far back in LineBuffer. A `max_length` above 0 fails with
  // 10040 once the text before the terminator would exceed it.
  std::string RecvTerminated(int timeout_ms, const std::string& terminator,
                             std::size_t max_length = 0);
  std::string RecvString(int timeout_ms, std::size_t max_length = 0);
  // Appends exactly `count` bytes to `buffer` unless an error stops it early; returns the
  // number appended. Bytes of the last packet beyond `count` stay in LineBuffer.
  std::size_t RecvBlock(std::string& buffer, long long count, int timeout_ms);

  // Sends everything in pieces of at most 64 KiB; a blocked piece waits up to 15 s for
  // the socket to become writable, else 10060. Stops at the first error.
  void SendBlock(const char* data, std::size_t count);
  void SendText(const std::string& text) { SendBlock(text.data(), text.size()); }
  // One send attempt that never waits; what does not fit is dropped.
  void SendNoWait(const std::string& text);

  // Pause between shutting down the sending direction and closing (1 ms by default).
  void SetClosePause(int milliseconds) { close_pause_ms_ = milliseconds; }

  int LastError() const { return last_error_; }
  std::string LastErrorText() const { return SocketErrorText(last_error_); }
  platform::SocketHandle Handle() const { return handle_; }
  // Port the socket is bound to; 0 when unknown.
  int LocalPort();

  std::string LineBuffer;

 protected:
  platform::SocketHandle handle_ = platform::kNoSocket;
  int last_error_ = 0;

 private:
  bool linger_on_ = false;
  int linger_seconds_ = 0;
  int close_pause_ms_ = 1;
};

class TTCPBlockSocket : public TBlockSocket {
 public:
  using TBlockSocket::TBlockSocket;
  void Listen();
  // Returns the accepted platform socket (kNoSocket on error) and its peer's address.
  platform::SocketHandle AcceptConnection(std::string& peer_address);
};

}  // namespace kv
