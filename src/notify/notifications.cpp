#include "notify/notifications.h"

#include "base/core_log_writer.h"

namespace kv {

TNotifications::TNotifications(TNotifySettings settings, std::string folder, std::string host,
                               TNotifyCommand::Runner runner, TWebhookSender::Clock utc_now,
                               TWebhookSender::Poster poster)
    : settings_(std::move(settings)), outbox_(std::make_unique<TOutbox>(folder)) {
  command_ = std::make_unique<TNotifyCommand>(settings_, folder, std::move(runner), outbox_.get());
  webhook_ = std::make_unique<TWebhookSender>(settings_, std::move(host), *outbox_, std::move(poster),
                                              std::move(utc_now));
}

TNotifications::~TNotifications() {
  Stop();
  // The senders write the outbox to the last: they go before it.
  webhook_.reset();
  command_.reset();
}

void TNotifications::Resume() {
  outbox_->Load();
  command_->Resume();  // what a stop or a crash cut short is told now
  webhook_->Resume();
}

void TNotifications::Remember(const std::vector<std::string>& notes) {
  if (TNotifyMemory::Load(notes, memory_)) return;
  memory_ = TNotifyMemory{};
  WriteCoreLog("ERROR! notify: the saved state's notification lines cannot be read; reminders and "
               "\"resolved\" messages start anew");
}

void TNotifications::Tell(const THealthVerdict& verdict, const std::vector<TChange>& changes, int64_t utc_now,
                          int64_t local_now) {
  if (!settings_.Any()) return;
  TNotifyCycle cycle;
  cycle.Verdict = verdict;
  cycle.Changes = changes;
  cycle.UtcNow = utc_now;
  cycle.LocalNow = local_now;
  for (const TNotifyMessage& message : DecideNotifications(memory_, settings_.Policy, cycle)) {
    command_->Submit(message);
    webhook_->Submit(message);
  }
}

void TNotifications::Stop() {
  command_->Stop();
  webhook_->Stop();
}

}  // namespace kv
