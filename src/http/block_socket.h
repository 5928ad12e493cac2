#pragma once
// TBlockSocket / TTCPBlockSocket: blocking-style TCP I/O with time-outs for the HTTP
// server, on top of the platform sockets. Lines and blocks are read as for every
// LineSource; the socket supplies the packets.
//
// Every operation sets LastError (0 = success, otherwise a Windows Sockets error number)
// and LastErrorText gives its fixed English text.
//
// Destroying a socket without a pending error closes gracefully: the sending direction is
// shut down, data already received is discarded, then the socket is closed (never a reset
// while response bytes are queued). With an error pending it is closed at once.
//
// One object belongs to one thread.
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

#include "http/line_source.h"
#include "platform/socket.h"

namespace kv {

// Text of a Windows Sockets error number; "Other Winsock error (N)" for unknown numbers.
std::string SocketErrorText(int code);

// The last step of a graceful close, once the sending direction is shut down: reads what
// has already arrived (up to 1 MiB, without waiting), then closes `handle`. Unread input
// would make the close a reset, which can destroy the answer at the client.
void DiscardInputAndClose(platform::SocketHandle handle);

class TBlockSocket : public LineSource {
 public:
  TBlockSocket() = default;
  // Adopts an accepted platform socket.
  explicit TBlockSocket(platform::SocketHandle handle) : handle_(handle) {}
  ~TBlockSocket() override;
  TBlockSocket(const TBlockSocket&) = delete;
  TBlockSocket& operator=(const TBlockSocket&) = delete;

  // Recorded now, applied when the platform socket is created (seconds = ms div 1000).
  void SetLingerOption(bool enable, int milliseconds);
  void Bind(const std::string& address, const std::string& port);
  void Connect(const std::string& address, const std::string& port);

  bool WaitReadable(int timeout_ms);

  // Sends everything, as much as the socket takes per call; while the socket takes
  // nothing, waits up to 15 s for it to become writable, else 10060. Stops at the first
  // error.
  void SendBlock(const char* data, std::size_t count) { SendParts({std::string_view(data, count)}); }
  void SendText(const std::string& text) { SendBlock(text.data(), text.size()); }
  // The same for several texts in order, gathered into each send call: a head and its
  // body leave together without being joined first. At most platform::kMaxSendParts.
  void SendParts(std::initializer_list<std::string_view> parts);
  // One send attempt that never waits; what does not fit is dropped.
  void SendNoWait(const std::string& text);

  // Pause between shutting down the sending direction and closing (1 ms by default).
  void SetClosePause(int milliseconds) { close_pause_ms_ = milliseconds; }
  // Without an error pending: shuts the sending direction down and gives the socket up,
  // for the caller to pause and DiscardInputAndClose it. With one: closes it at once and
  // returns kNoSocket. Either way the object holds no socket afterwards.
  platform::SocketHandle ShutdownAndRelease();

  std::string LastErrorText() const { return SocketErrorText(last_error_); }
  platform::SocketHandle Handle() const { return handle_; }
  // Port the socket is bound to; 0 when unknown.
  int LocalPort();

 protected:
  // The bytes waiting (at most 16 KiB), after waiting up to timeout_ms for some.
  std::string ReceivePacket(int timeout_ms) override;

  platform::SocketHandle handle_ = platform::kNoSocket;

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
