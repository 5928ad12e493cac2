#pragma once
// The [notify] keys as the notifications read them (base/settings.h holds their defaults,
// bounds and meanings).
#include <cstdint>
#include <string>

#include "base/settings.h"
#include "health/changes.h"
#include "notify/notify_policy.h"
#include "notify/webhook_payload.h"

namespace kv {

// "information", "warning", "critical": false for anything else.
bool ParseSeverity(const std::string& text, TSeverity& severity);

struct TNotifySettings {
  static constexpr size_t kMaxLoggedOutput = 4096;
  static constexpr int kWebhookTimeoutSeconds = 10;

  explicit TNotifySettings(const TSettings& settings = DefaultSettings());

  // The command: empty runs none.
  std::string Command;
  int64_t TimeoutSeconds;
  // The webhook: an empty address posts nothing.
  std::string Webhook;
  TWebhookFormat Format = TWebhookFormat::Json;
  std::string WebhookHeader;  // one "Name: value" line, or empty
  std::string WebhookCa;      // a PEM file, or empty for the system's roots
  std::string PageUrl;        // what messages link to, or empty
  // When to send.
  TNotifyPolicySettings Policy;

  bool Any() const { return !Command.empty() || !Webhook.empty(); }
};

}  // namespace kv
