#pragma once
// TClientAllowList: which client addresses may read the pages ([http] allow).
//
//   allow=127.0.0.1, 10.20.0.0/16
//
// A comma-separated list of dotted IPv4 addresses and CIDR ranges (/0 to /32); blanks around
// entries are ignored. An empty setting allows everyone. An entry that cannot be read fails
// the whole setting closed: only 127.0.0.1 is allowed, and BadEntry names the entry.
// Immutable after parsing; any thread.
#include <cstdint>
#include <string>
#include <vector>

namespace kv {

// A strict dotted quad ("10.0.0.5": four decimal parts of 0..255 without leading zeros,
// nothing else).
bool ParseIPv4(const std::string& text, uint32_t& address);

class TClientAllowList {
 public:
  TClientAllowList() = default;  // everyone
  explicit TClientAllowList(const std::string& setting);

  bool Allows(const std::string& clientAddress) const;
  bool AllowsEveryone() const { return everyone_; }
  // The first entry that could not be read; empty when all were read.
  const std::string& BadEntry() const { return bad_entry_; }

 private:
  struct TRange {
    uint32_t network, mask;
  };
  bool everyone_ = true;
  std::vector<TRange> ranges_;
  std::string bad_entry_;
};

}  // namespace kv
