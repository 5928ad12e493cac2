#pragma once
// Counts the open connections, from their accept until their answer is sent, in total
// and per client address, and refuses a new one over either bound. Thread-safe.
#include <map>
#include <mutex>
#include <string>

namespace kv {

class ConnectionLimit {
 public:
  ConnectionLimit(int max_total, int max_per_client)
      : max_total_(max_total), max_per_client_(max_per_client) {}

  // True (and counted) when one more connection from `client` fits both bounds.
  bool TryEnter(const std::string& client);
  // Ends a connection counted by TryEnter.
  void Leave(const std::string& client);
  int Running() const;

 private:
  const int max_total_;
  const int max_per_client_;
  mutable std::mutex lock_;
  int total_ = 0;
  std::map<std::string, int> per_client_;  // only clients with running connections
};

}  // namespace kv
