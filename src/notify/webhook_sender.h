#pragma once
// TWebhookSender: posts each message to [notify] webhook and keeps trying until the
// receiver takes it (notify/webhook_queue.h says when, and when it gives up).
//
// Submit renders the message in the configured format (notify/webhook_payload.h), puts it
// in the queue and the outbox before anything is posted, and wakes the thread; a message
// is removed from the outbox once delivered or dropped. Resume, once at the start, takes
// what the outbox holds from before (a restart sends it). The command and the webhook are
// apart: neither waits for the other.
//
// Core log: every failed try, "ERROR! notify: webhook: HTTP 500 from https://host/path;
// trying again in 30 s (try 1)" (the address without its query string or user, where
// tokens live); each delivery, saying after how many tries; a drop. A message dropped after
// 24 hours, or to keep at most 100, also becomes a change (event id 75) that the
// collecting thread takes with TakeChanges, for the journal and the event log.
//
// Threads: Submit, Resume and TakeChanges on the collecting thread; posting on a thread of
// its own, which wakes each second to look at the clock (`utc_now`, stepped by tests).
// Stop, from any thread, ends a post at once and starts none; the destructor stops and
// joins. What is pending stays in the outbox.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "health/changes.h"
#include "notify/notify_message.h"
#include "notify/notify_settings.h"
#include "notify/outbox.h"
#include "notify/webhook_queue.h"
#include "platform/http_client.h"

namespace kv {

// The request that posts `body` as the settings say (address, header, CA file, 10 s).
platform::HttpPostRequest WebhookRequest(const TNotifySettings& settings, const TWebhookBody& body);
// "HTTP 200", "HTTP 500", "no answer: timed out": how a try ended, for the log and the switch.
std::string PostResultText(const platform::HttpPostResult& result);
bool PostDelivered(const platform::HttpPostResult& result);  // answered with a 2xx status
// The address as the core log shows it: no "user:password@", nothing from '?' or '#' on, so
// that no token reaches the log.
std::string WebhookAddressForLog(const std::string& url);

class TWebhookSender {
 public:
  using Poster = std::function<platform::HttpPostResult(const platform::HttpPostRequest&)>;
  using Clock = std::function<int64_t()>;  // Unix seconds (UTC)

  // `host` names this computer in the messages. Null `poster` posts with
  // platform::HttpPost; null `utc_now` reads the system clock.
  TWebhookSender(TNotifySettings settings, std::string host, TOutbox& outbox, Poster poster = nullptr,
                 Clock utc_now = nullptr);
  TWebhookSender(const TWebhookSender&) = delete;
  TWebhookSender& operator=(const TWebhookSender&) = delete;
  ~TWebhookSender();

  // False when no webhook is set.
  bool Submit(const TNotifyMessage& message);
  // Once, at the start, after TOutbox::Load. Without a webhook, what waited is dropped
  // with a core-log line.
  void Resume();
  std::vector<TChange> TakeChanges();
  // Until no post runs and the thread has looked at the clock as it reads now, with
  // nothing due (the tests): every item is delivered or waits for a later try. Gives up
  // after 10 s.
  void WaitIdle();
  void Stop();
  size_t Pending();

 private:
  static constexpr int64_t kNotLooked = std::numeric_limits<int64_t>::min();

  void Work();
  void Save();  // under mutex_

  TNotifySettings settings_;
  std::string host_;
  TOutbox& outbox_;
  Poster poster_;
  Clock utc_now_;
  platform::ConsoleProcessCancel cancel_;
  std::mutex mutex_;
  std::condition_variable wake_;  // the thread: something to look at
  std::condition_variable idle_;  // WaitIdle: the thread looked
  TWebhookQueue queue_;
  std::map<uint64_t, std::string> last_try_;  // item id -> how its last try ended
  std::vector<TChange> changes_;
  bool posting_ = false;
  bool stopping_ = false;
  bool poked_ = false;                 // wake_ was signalled
  int64_t looked_ = kNotLooked;        // the clock when the thread last found nothing due
  std::thread thread_;
};

}  // namespace kv
