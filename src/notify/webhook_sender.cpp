#include "notify/webhook_sender.h"

#include <chrono>
#include <cstdio>
#include <limits>

#include "base/core_log_writer.h"
#include "notify/webhook_payload.h"

namespace kv {
namespace {

constexpr auto kLookEvery = std::chrono::seconds(1);
constexpr auto kMaxIdleWait = std::chrono::seconds(10);

int64_t SystemUtcNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// "30 s", "2 min".
std::string WaitText(int64_t seconds) {
  return seconds < 60 ? std::to_string(seconds) + " s" : std::to_string(seconds / 60) + " min";
}

std::string SecondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

TChange DroppedChange(const std::string& text) {
  TChange change;
  change.Kind = TChangeKind::NotificationDropped;
  change.Severity = TSeverity::Warning;
  change.Object = "Webhook";
  change.Text = "Notification dropped: " + text;
  return change;
}

}  // namespace

std::string WebhookAddressForLog(const std::string& url) {
  std::string shown = url.substr(0, url.find_first_of("?#"));
  const size_t scheme = shown.find("://");
  const size_t host = scheme == std::string::npos ? 0 : scheme + 3;
  const size_t at = shown.rfind('@', shown.find('/', host));
  if (at != std::string::npos && at >= host) shown.erase(host, at + 1 - host);
  return shown;
}

platform::HttpPostRequest WebhookRequest(const TNotifySettings& settings, const TWebhookBody& body) {
  platform::HttpPostRequest request;
  request.url = settings.Webhook;
  request.content_type = body.ContentType;
  request.body = body.Body;
  request.extra_header = settings.WebhookHeader;
  request.ca_file = settings.WebhookCa;
  request.timeout_seconds = TNotifySettings::kWebhookTimeoutSeconds;
  return request;
}

std::string PostResultText(const platform::HttpPostResult& result) {
  if (result.answered) return "HTTP " + std::to_string(result.status);
  return "no answer: " + (result.error.empty() ? std::string("unknown error") : result.error);
}

bool PostDelivered(const platform::HttpPostResult& result) {
  return result.answered && result.status >= 200 && result.status <= 299;
}

TWebhookSender::TWebhookSender(TNotifySettings settings, std::string host, TOutbox& outbox, Poster poster,
                               Clock utc_now)
    : settings_(std::move(settings)),
      host_(std::move(host)),
      outbox_(outbox),
      poster_(poster ? std::move(poster) : Poster(platform::HttpPost)),
      utc_now_(utc_now ? std::move(utc_now) : Clock(SystemUtcNow)) {
  if (settings_.Webhook.empty()) return;
  try {
    thread_ = std::thread([this] { Work(); });
  } catch (...) {
    WriteCoreLog("ERROR! notify: no thread for the webhook; its messages wait in the outbox for the next start");
  }
}

TWebhookSender::~TWebhookSender() {
  Stop();
  if (thread_.joinable()) thread_.join();
}

bool TWebhookSender::Submit(const TNotifyMessage& message) {
  if (settings_.Webhook.empty()) return false;
  const TWebhookBody body = RenderWebhookBody(message, settings_.Format, host_, settings_.PageUrl);
  TWebhookItem item;
  item.Event = NotifyEventName(message.Event);
  item.Made = message.Time > 0 ? message.Time : utc_now_();
  item.ContentType = body.ContentType;
  item.Body = body.Body;
  std::string dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // Every item is due at the end of time, so this is the oldest: the one a full queue drops.
    const TWebhookItem* oldest =
        queue_.Size() >= TWebhookQueue::kMaxItems ? queue_.Due(std::numeric_limits<int64_t>::max()) : nullptr;
    if (oldest != nullptr)
      dropped = "(" + oldest->Event + ", made " + IsoUtcTime(oldest->Made) + ")";
    if (queue_.Add(std::move(item)) > 0) {
      changes_.push_back(DroppedChange("more than " + std::to_string(TWebhookQueue::kMaxItems) +
                                       " webhook messages waited; the oldest " + dropped + " was dropped"));
    } else {
      dropped.clear();
    }
    // In the outbox before it is posted: a crash from here on leaves it to the next start.
    Save();
    looked_ = kNotLooked;
    poked_ = true;
  }
  wake_.notify_all();
  if (!dropped.empty())
    WriteCoreLog("ERROR! notify: webhook: more than " + std::to_string(TWebhookQueue::kMaxItems) +
                 " messages wait; the oldest " + dropped + " is dropped");
  return true;
}

void TWebhookSender::Resume() {
  const std::vector<TOutboxEntry> entries = outbox_.Take("webhook");
  if (entries.empty()) return;
  if (settings_.Webhook.empty()) {
    outbox_.Replace("webhook", {});
    WriteCoreLog("notify: no webhook is set; " + std::to_string(entries.size()) +
                 " messages left from before the start are dropped");
    return;
  }
  size_t unreadable = 0, resumed = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t before = queue_.Size();
    unreadable = queue_.FromOutbox(entries);
    resumed = queue_.Size() - before;
    queue_.DueAll(utc_now_());
    Save();
    looked_ = kNotLooked;
    poked_ = true;
  }
  wake_.notify_all();
  if (unreadable > 0)
    WriteCoreLog(std::string("ERROR! notify: ") + kOutboxFileName + ": " + std::to_string(unreadable) +
                 " webhook entries could not be read and are skipped");
  if (resumed > 0)
    WriteCoreLog("notify: webhook: " + std::to_string(resumed) + " messages left from before the start are sent again");
}

std::vector<TChange> TWebhookSender::TakeChanges() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::move(changes_);
}

size_t TWebhookSender::Pending() {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.Size();
}

void TWebhookSender::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    poked_ = true;
  }
  cancel_.Cancel();
  wake_.notify_all();
  idle_.notify_all();
}

void TWebhookSender::WaitIdle() {
  std::unique_lock<std::mutex> lock(mutex_);
  const int64_t now = utc_now_();
  poked_ = true;
  wake_.notify_all();
  idle_.wait_for(lock, kMaxIdleWait, [&] { return stopping_ || !thread_.joinable() || (!posting_ && looked_ >= now); });
}

void TWebhookSender::Save() { outbox_.Replace("webhook", queue_.ToOutbox()); }

void TWebhookSender::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    const int64_t now = utc_now_();
    const std::vector<TWebhookItem> expired = queue_.DropExpired(now);
    std::vector<std::string> lines;
    for (const TWebhookItem& item : expired) {
      const auto last = last_try_.find(item.Id);
      const std::string how =
          last != last_try_.end() ? "last try: " + last->second : std::to_string(item.Tries) + " tries";
      lines.push_back("ERROR! notify: webhook: a " + item.Event + " message made " + IsoUtcTime(item.Made) +
                      " was not taken in 24 hours and is dropped (" + how + ")");
      changes_.push_back(DroppedChange("the webhook did not take a " + item.Event + " message within 24 hours (" +
                                       how + ")"));
      last_try_.erase(item.Id);
    }
    if (!expired.empty()) Save();
    const TWebhookItem* due = queue_.Due(now);
    if (due == nullptr) {
      // Told before WaitIdle may return; the core log calls nothing of ours.
      for (const std::string& line : lines) WriteCoreLog(line);
      looked_ = now;
      idle_.notify_all();
      wake_.wait_for(lock, kLookEvery, [&] { return poked_ || stopping_; });
      poked_ = false;
      continue;
    }
    const TWebhookItem item = *due;
    posting_ = true;
    lock.unlock();
    for (const std::string& line : lines) WriteCoreLog(line);
    platform::HttpPostRequest request = WebhookRequest(settings_, TWebhookBody{item.ContentType, item.Body});
    request.cancel = &cancel_;
    platform::HttpPostResult result;
    try {
      result = poster_(request);
    } catch (...) {
      result.error = "the post failed";
    }
    const bool delivered = PostDelivered(result);
    const std::string told = PostResultText(result);
    std::string line;
    lock.lock();
    posting_ = false;
    if (stopping_ && !delivered) break;  // cut off by the stop: it stays as it was for the next start
    if (delivered) {
      queue_.Delivered(item.Id);
      last_try_.erase(item.Id);
      line = "notify: webhook: " + item.Event + " message delivered" +
             (item.Tries > 0 ? " after " + std::to_string(item.Tries + 1) + " tries" : std::string()) + ", " + told +
             " in " + SecondsText(result.seconds);
    } else {
      queue_.Failed(item.Id, utc_now_());
      last_try_[item.Id] = told;
      line = "ERROR! notify: webhook: " +
             (result.answered ? told + " from " + WebhookAddressForLog(settings_.Webhook)
                              : "no answer from " + WebhookAddressForLog(settings_.Webhook) + told.substr(9)) +
             "; trying again in " + WaitText(TWebhookQueue::WaitAfter(item.Tries + 1)) + " (try " +
             std::to_string(item.Tries + 1) + ")";
    }
    Save();
    lock.unlock();
    WriteCoreLog(line);
    lock.lock();
  }
  posting_ = false;
  idle_.notify_all();
}

}  // namespace kv
