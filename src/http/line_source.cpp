#include "http/line_source.h"

namespace kv {

std::string LineSource::RecvPacket(int timeout_ms) {
  last_error_ = 0;
  if (!LineBuffer.empty()) {
    std::string out;
    out.swap(LineBuffer);
    return out;
  }
  return ReceivePacket(timeout_ms);
}

std::string LineSource::RecvTerminated(int timeout_ms, const std::string& terminator,
                                       std::size_t max_length) {
  last_error_ = 0;
  if (terminator.empty()) return RecvPacket(timeout_ms);
  std::string work;
  for (;;) {
    std::size_t from = work.size() >= terminator.size() ? work.size() - terminator.size() + 1 : 0;
    std::string packet = RecvPacket(timeout_ms);
    if (last_error_ != 0) {
      LineBuffer = std::move(work);
      return {};
    }
    work += packet;
    std::size_t at = work.find(terminator, from);
    if (max_length > 0) {
      // Without a terminator yet, its first byte may already be the last one received.
      std::size_t shortest = at != std::string::npos ? at
                             : work.size() >= terminator.size() ? work.size() - terminator.size() + 1
                                                                : 0;
      if (shortest > max_length) {
        last_error_ = platform::kSockMessageTooLong;
        LineBuffer = std::move(work);
        return {};
      }
    }
    if (at != std::string::npos) {
      LineBuffer = work.substr(at + terminator.size());
      work.resize(at);
      return work;
    }
  }
}

std::string LineSource::RecvString(int timeout_ms, std::size_t max_length) {
  std::string line = RecvTerminated(timeout_ms, "\r\n", max_length);
  if (last_error_ != 0) return {};
  return line;
}

std::size_t LineSource::RecvBlock(std::string& buffer, long long count, int timeout_ms) {
  last_error_ = 0;
  if (count < 1) return 0;
  const std::size_t want = static_cast<std::size_t>(count);
  std::size_t stored = 0;
  while (stored < want) {
    std::string packet = RecvPacket(timeout_ms);
    if (last_error_ != 0) break;
    std::size_t take = want - stored < packet.size() ? want - stored : packet.size();
    buffer.append(packet, 0, take);
    stored += take;
    if (take < packet.size()) LineBuffer = packet.substr(take);
  }
  return stored;
}

TMemoryLineSource::TMemoryLineSource(const std::string& bytes, const std::vector<std::size_t>& cuts,
                                     int end_error)
    : end_error_(end_error) {
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    if (cut <= from || cut >= bytes.size()) continue;
    packets_.push_back(bytes.substr(from, cut - from));
    from = cut;
  }
  if (from < bytes.size()) packets_.push_back(bytes.substr(from));
}

std::string TMemoryLineSource::ReceivePacket(int /*timeout_ms*/) {
  if (next_ >= packets_.size()) {
    last_error_ = end_error_;
    return {};
  }
  return std::move(packets_[next_++]);
}

}  // namespace kv
