#pragma once
// TNotifications: every way of telling people, as the collecting thread sees it. It owns
// the outbox the two senders share, the command, the webhook and the memory of what was
// told (notify/notify_policy.h), and turns each collection's changes and verdict into
// messages for both senders.
//
// Notifications are decided only when a command or a webhook is set; without either the
// memory is kept as loaded, so a later configuration does not start with "resolved"
// messages for problems nobody was told of.
//
// Threads: the collecting thread, except Stop (any thread). The destructor stops and joins
// the senders; what they had not delivered stays in the outbox.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "health/changes.h"
#include "health/verdict.h"
#include "notify/notify_command.h"
#include "notify/notify_policy.h"
#include "notify/notify_settings.h"
#include "notify/outbox.h"
#include "notify/webhook_sender.h"

namespace kv {

class TNotifications {
 public:
  // `folder` (with its separator) holds the outbox; empty keeps none. `host` names this
  // computer in the webhook's messages.
  TNotifications(TNotifySettings settings, std::string folder, std::string host, TNotifyCommand::Runner runner,
                 TWebhookSender::Clock utc_now, TWebhookSender::Poster poster = nullptr);
  TNotifications(const TNotifications&) = delete;
  TNotifications& operator=(const TNotifications&) = delete;
  ~TNotifications();

  // Once, at the start: what the outbox holds from before is sent again.
  void Resume();
  // The memory as the saved state keeps it (its "notify" lines), and back. A memory that
  // cannot be read starts empty, with one core-log line.
  void Remember(const std::vector<std::string>& notes);
  std::vector<std::string> Notes() const { return memory_.Save(); }

  // One collection: sends what the policy decides.
  void Tell(const THealthVerdict& verdict, const std::vector<TChange>& changes, int64_t utc_now, int64_t local_now);
  // Messages the webhook dropped since the last call, as changes (event id 75).
  std::vector<TChange> TakeChanges() { return webhook_->TakeChanges(); }

  void Stop();
  TNotifyCommand& Command() { return *command_; }
  TWebhookSender& Webhook() { return *webhook_; }

 private:
  TNotifySettings settings_;
  std::unique_ptr<TOutbox> outbox_;
  std::unique_ptr<TNotifyCommand> command_;
  std::unique_ptr<TWebhookSender> webhook_;
  TNotifyMemory memory_;
};

}  // namespace kv
