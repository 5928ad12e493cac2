#pragma once
// The webhook's messages not yet delivered, and when each is tried next.
//
// A message the receiver refuses (any status but 2xx) or that gets no answer is tried
// again after 30 s, then 1, 2, 4 ... minutes, at most 60 minutes apart. A message not
// delivered 24 hours after it was made is dropped (DropExpired gives it back, so the
// caller can say so). At most kMaxItems wait: adding beyond drops the oldest, counted.
//
// Kept in the outbox (notify/outbox.h) as "[webhook]" entries, the body already rendered:
//   [webhook]
//   event=problem
//   made=1765249800
//   tries=2
//   next=1765249890
//   type=application/json; charset=utf-8
//   body=...
// The type and the body are written as one line each, exactly: a backslash as "\\", LF as
// "\n", CR as "\r", any other control byte as "\xHH" (two hex digits); other bytes, UTF-8
// ones too, as they are. Pure, with the time handed in; the caller serialises access.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "notify/outbox.h"

namespace kv {

struct TWebhookItem {
  uint64_t Id = 0;       // given by Add
  std::string Event;     // "problem", ...
  int64_t Made = 0;      // Unix seconds (UTC)
  int Tries = 0;         // failed tries so far
  int64_t NextTry = 0;   // Unix seconds (UTC); due when now >= NextTry
  std::string ContentType;
  std::string Body;
};

class TWebhookQueue {
 public:
  static constexpr size_t kMaxItems = 100;
  static constexpr int64_t kMaxAgeSeconds = 24 * 3600;
  static constexpr int64_t kFirstWaitSeconds = 30;
  static constexpr int64_t kMaxWaitSeconds = 3600;
  static constexpr size_t kMaxBodyBytes = size_t{1} << 20;

  // The wait after the `tries`-th failed try: 30, 60, 120, ... 3600.
  static int64_t WaitAfter(int tries);

  // Due at once. Returns how many of the oldest were dropped to make room (0 or 1).
  size_t Add(TWebhookItem item);
  // The oldest item due at `now`, or null.
  const TWebhookItem* Due(int64_t now) const;
  void Delivered(uint64_t id);
  void Failed(uint64_t id, int64_t now);
  // Removes and returns the items made kMaxAgeSeconds or more before `now`, and those made
  // more than kMaxAgeSeconds after it (a clock set back, a damaged file): they would wait forever.
  std::vector<TWebhookItem> DropExpired(int64_t now);
  // The earliest NextTry, or -1 when empty.
  int64_t NextWake() const;
  // Every item due at `now`: a restart is a new chance, not a wait of up to an hour.
  void DueAll(int64_t now);
  size_t Size() const { return items_.size(); }
  bool Empty() const { return items_.empty(); }

  std::vector<TOutboxEntry> ToOutbox() const;
  // Adds the "[webhook]" entries of `entries` (other types are not looked at), as they were
  // (tries, next try); returns how many were skipped: unreadable (no event, made, type or body,
  // an unknown event, a time out of range, a bad escape, a body over kMaxBodyBytes) or the
  // oldest beyond kMaxItems.
  size_t FromOutbox(const std::vector<TOutboxEntry>& entries);

 private:
  size_t Push(TWebhookItem item);  // gives the id; drops the oldest beyond kMaxItems

  std::deque<TWebhookItem> items_;  // oldest first
  uint64_t next_id_ = 1;
};

}  // namespace kv
