#include "http/connection_limit.h"

namespace kv {

bool ConnectionLimit::TryEnter(const std::string& client) {
  std::lock_guard<std::mutex> guard(lock_);
  if (total_ >= max_total_) return false;
  int& mine = per_client_[client];
  if (mine >= max_per_client_) {
    if (mine == 0) per_client_.erase(client);
    return false;
  }
  ++mine;
  ++total_;
  return true;
}

void ConnectionLimit::Leave(const std::string& client) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = per_client_.find(client);
  if (it == per_client_.end()) return;
  if (--it->second <= 0) per_client_.erase(it);
  --total_;
}

int ConnectionLimit::Running() const {
  std::lock_guard<std::mutex> guard(lock_);
  return total_;
}

}  // namespace kv
