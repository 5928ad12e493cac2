#pragma once
// LineSource: CR LF lines and counted blocks assembled from packets, whatever delivers
// the packets. The socket (TBlockSocket) is one; TMemoryLineSource hands out bytes held in
// memory, cut into the packets a test or fuzz target chooses, so a request can be read
// without a network and with every way a client could split it.
//
// Every read sets LastError (0 = success, otherwise a Windows Sockets error number).
// Receives wait per packet: each wait for more data gets the full time-out again. Bytes
// received but not yet consumed by a line or block read stay in LineBuffer. Only CR LF
// ends a line. The result of a line or block read never depends on where the packets
// were cut.
//
// One object belongs to one thread.
#include <cstddef>
#include <string>
#include <vector>

#include "platform/socket.h"

namespace kv {

class LineSource {
 public:
  virtual ~LineSource() = default;

  // All of LineBuffer if it holds anything; else the next packet, after waiting up to
  // timeout_ms: 10060 when nothing arrives, 10054 when the peer closed.
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

  int LastError() const { return last_error_; }

  std::string LineBuffer;

 protected:
  // The next packet from the underlying source (LineBuffer is empty); sets last_error_.
  virtual std::string ReceivePacket(int timeout_ms) = 0;

  int last_error_ = 0;
};

// `bytes` handed out as packets that end at `cuts` (offsets into `bytes`, ascending; out
// of range or repeated ones are ignored). Once everything is handed out, every further
// receive fails with `end_error`: 10060 stands for a client that waits for the answer,
// 10054 for one that closed. Time-outs are not waited for.
class TMemoryLineSource : public LineSource {
 public:
  explicit TMemoryLineSource(const std::string& bytes, const std::vector<std::size_t>& cuts = {},
                             int end_error = platform::kSockTimedOut);

 protected:
  std::string ReceivePacket(int timeout_ms) override;

 private:
  std::vector<std::string> packets_;
  std::size_t next_ = 0;
  int end_error_;
};

}  // namespace kv
