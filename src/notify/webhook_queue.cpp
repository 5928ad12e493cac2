#include "notify/webhook_queue.h"

#include <algorithm>

#include "base/ini_file.h"
#include "base/text_case.h"
#include "notify/notify_message.h"

namespace kv {
namespace {

constexpr char kEntryType[] = "webhook";
// Times past this (the year 36812) come only from a damaged or hostile file.
constexpr int64_t kLatestTime = int64_t{1} << 40;
constexpr int kMaxTries = 1000000;
constexpr size_t kMaxContentTypeBytes = 200;

// A stored value is one line: backslash, CR and LF are written as "\\", "\r", "\n", any
// other control byte as "\xHH"; every other byte as it is.
std::string EscapeLine(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (b < 0x20 || b == 0x7F) out.append("\\x").append(1, kHex[b >> 4]).append(1, kHex[b & 15]);
    else out += c;
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char lower = LowerAscii(c);
  return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// False on an escape EscapeLine does not write, or when the text would pass `max_bytes`.
bool UnescapeLine(std::string_view text, size_t max_bytes, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (out.size() >= max_bytes) return false;
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return false;
    if (text[i] == '\\') out += '\\';
    else if (text[i] == 'n') out += '\n';
    else if (text[i] == 'r') out += '\r';
    else if (text[i] == 'x' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

bool ReadTime(const std::string& value, int64_t& time) {
  return ParseIniInteger(value, time) && time >= 0 && time <= kLatestTime;
}

// A header value: printable ASCII only.
bool IsContentType(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

bool ReadItem(const TOutboxEntry& entry, TWebhookItem& item) {
  bool has_event = false, has_made = false, has_type = false, has_body = false, has_next = false;
  for (const auto& [key, value] : entry.Keys) {
    int64_t number = 0;
    TNotifyEvent event;
    if (key == "event") {
      has_event = ParseNotifyEvent(value, event);
      if (has_event) item.Event = NotifyEventName(event);
    } else if (key == "made") {
      has_made = ReadTime(value, item.Made);
    } else if (key == "tries") {
      if (ParseIniInteger(value, number)) item.Tries = static_cast<int>(std::clamp<int64_t>(number, 0, kMaxTries));
    } else if (key == "next") {
      has_next = ReadTime(value, item.NextTry);
    } else if (key == "type") {
      has_type = UnescapeLine(value, kMaxContentTypeBytes, item.ContentType) && IsContentType(item.ContentType);
    } else if (key == "body") {
      has_body = UnescapeLine(value, TWebhookQueue::kMaxBodyBytes, item.Body);
    }
  }
  if (!has_next) item.NextTry = item.Made;
  return has_event && has_made && has_type && has_body;
}

}  // namespace

int64_t TWebhookQueue::WaitAfter(int tries) {
  int64_t wait = kFirstWaitSeconds;
  for (int i = 1; i < tries && wait < kMaxWaitSeconds; ++i) wait *= 2;
  return std::min(wait, kMaxWaitSeconds);
}

size_t TWebhookQueue::Add(TWebhookItem item) {
  item.NextTry = item.Made;
  return Push(std::move(item));
}

size_t TWebhookQueue::Push(TWebhookItem item) {
  item.Id = next_id_++;
  size_t dropped = 0;
  for (; items_.size() >= kMaxItems; ++dropped) items_.pop_front();
  items_.push_back(std::move(item));
  return dropped;
}

const TWebhookItem* TWebhookQueue::Due(int64_t now) const {
  for (const TWebhookItem& item : items_)
    if (item.NextTry <= now) return &item;
  return nullptr;
}

void TWebhookQueue::Delivered(uint64_t id) {
  std::erase_if(items_, [id](const TWebhookItem& item) { return item.Id == id; });
}

void TWebhookQueue::Failed(uint64_t id, int64_t now) {
  for (TWebhookItem& item : items_) {
    if (item.Id != id) continue;
    item.Tries = std::min(item.Tries + 1, kMaxTries);
    item.NextTry = now + WaitAfter(item.Tries);
  }
}

std::vector<TWebhookItem> TWebhookQueue::DropExpired(int64_t now) {
  std::vector<TWebhookItem> expired;
  std::deque<TWebhookItem> kept;
  for (TWebhookItem& item : items_) {
    const bool old = now - item.Made >= kMaxAgeSeconds || item.Made - now > kMaxAgeSeconds;
    (old ? expired.emplace_back(std::move(item)) : kept.emplace_back(std::move(item)));
  }
  items_ = std::move(kept);
  return expired;
}

int64_t TWebhookQueue::NextWake() const {
  int64_t wake = -1;
  for (const TWebhookItem& item : items_)
    if (wake < 0 || item.NextTry < wake) wake = item.NextTry;
  return wake;
}

std::vector<TOutboxEntry> TWebhookQueue::ToOutbox() const {
  std::vector<TOutboxEntry> entries;
  for (const TWebhookItem& item : items_) {
    entries.push_back({kEntryType,
                       {{"event", item.Event},
                        {"made", std::to_string(item.Made)},
                        {"tries", std::to_string(item.Tries)},
                        {"next", std::to_string(item.NextTry)},
                        {"type", EscapeLine(item.ContentType)},
                        {"body", EscapeLine(item.Body)}}});
  }
  return entries;
}

size_t TWebhookQueue::FromOutbox(const std::vector<TOutboxEntry>& entries) {
  size_t skipped = 0;
  for (const TOutboxEntry& entry : entries) {
    if (!SameTextAscii(entry.Type, kEntryType)) continue;
    TWebhookItem item;
    if (ReadItem(entry, item)) skipped += Push(std::move(item));
    else ++skipped;
  }
  return skipped;
}

void TWebhookQueue::DueAll(int64_t now) {
  for (TWebhookItem& item : items_) item.NextTry = std::min(item.NextTry, now);
}

}  // namespace kv
