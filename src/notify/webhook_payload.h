#pragma once
// The body the webhook posts for one message, in the format [notify] webhook_format names:
//
//   json   our own document, "format": 1, as application/json; charset=utf-8:
//          {"format": 1, "host": "srv-db-01", "event": "problem", "verdict": "Critical",
//           "previous_verdict": "OK", "summary": "...", "page_url": "http://...",
//           "time": "2026-12-10T04:36:22Z", "changes": [{"time": "...", "severity":
//           "critical", "event_id": 10, "controller": 1, "object": "...", "serial": "...",
//           "from": "Online", "to": "Failed", "line": "..."}], "left_out": 0,
//           "reasons": [{"level": "Critical", "object": "...", "text": "Failed"}]}
//          An unknown controller is null; empty serial, from and to are "".
//   text   {"text": "..."} as application/json, for Slack-compatible chats: the summary,
//          the change lines (or, for a reminder, the reasons) and the page address, one
//          per line
//   plain  the same lines as text/plain; charset=utf-8, as ntfy shows them
//
// Texts from the listing are not trusted: they are made valid UTF-8 and escaped; in text and
// plain their control characters become blanks, so each stays one line. A body stays within
// kMaxWebhookBodyBytes: past it the oldest changes are left out (counted in "left_out" and
// the "(N earlier changes left out)" line) and the last reasons too. Pure.
#include <cstddef>
#include <cstdint>
#include <string>

#include "notify/notify_message.h"

namespace kv {

enum class TWebhookFormat { Json, Text, Plain };

// "json", "text", "plain" (any case): false for anything else.
bool ParseWebhookFormat(const std::string& text, TWebhookFormat& format);

// "2026-12-10T04:36:22Z".
std::string IsoUtcTime(int64_t utc_seconds);

constexpr size_t kMaxWebhookBodyBytes = size_t{256} << 10;

struct TWebhookBody {
  std::string ContentType;
  std::string Body;
};

// `host` is this computer's name; `page_url` is [notify] page_url, left out when empty.
TWebhookBody RenderWebhookBody(const TNotifyMessage& message, TWebhookFormat format, const std::string& host,
                               const std::string& page_url);

}  // namespace kv
