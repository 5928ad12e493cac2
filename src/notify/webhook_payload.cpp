#include "notify/webhook_payload.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

#include "base/local_time_text.h"
#include "base/text_case.h"
#include "base/text_utf8.h"
#include "health/changes.h"

namespace kv {
namespace {

constexpr char kJsonType[] = "application/json; charset=utf-8";
constexpr char kPlainType[] = "text/plain; charset=utf-8";
// Room kept for the parts counted after the lists are cut: the counts, the brackets, a note line.
constexpr size_t kSlackBytes = 256;

// Lists are cut to a budget: the changes keep their newest (the latest state is what counts),
// the reasons their first.
size_t NewestThatFit(const std::vector<std::string>& items, size_t separator, size_t budget) {
  size_t used = 0, kept = 0;
  for (size_t i = items.size(); i-- > 0; ++kept) {
    if (used + items[i].size() + separator > budget) break;
    used += items[i].size() + separator;
  }
  return kept;
}

size_t FirstThatFit(const std::vector<std::string>& items, size_t separator, size_t budget) {
  size_t used = 0, kept = 0;
  for (; kept < items.size() && used + items[kept].size() + separator <= budget; ++kept)
    used += items[kept].size() + separator;
  return kept;
}

enum class TKeep { Newest, First };

// The texts of `items` as `render` writes them, only as many as could fit: from the newest
// or the first, until they pass the bound. Rendering all could take many times the bound.
template <class Item, class Render>
std::vector<std::string> RenderSome(const std::vector<Item>& items, TKeep keep, Render render) {
  const bool newest = keep == TKeep::Newest;
  std::vector<std::string> texts;
  size_t total = 0;
  for (size_t n = 0; n < items.size() && total <= kMaxWebhookBodyBytes; ++n) {
    texts.push_back(render(items[newest ? items.size() - 1 - n : n]));
    total += texts.back().size();
  }
  if (newest) std::reverse(texts.begin(), texts.end());
  return texts;
}

// What the lists may take once the rest is written: the reasons at most half, the changes
// what the reasons leave.
struct TKept {
  size_t Changes = 0, Reasons = 0;
};

TKept FitLists(const std::vector<std::string>& changes, const std::vector<std::string>& reasons, size_t separator,
               size_t fixed) {
  const size_t room = fixed + kSlackBytes < kMaxWebhookBodyBytes ? kMaxWebhookBodyBytes - fixed - kSlackBytes : 0;
  TKept kept;
  kept.Reasons = FirstThatFit(reasons, separator, room / 2);
  size_t used = 0;
  for (size_t i = 0; i < kept.Reasons; ++i) used += reasons[i].size() + separator;
  kept.Changes = NewestThatFit(changes, separator, room - used);
  return kept;
}

void Join(std::string& out, const std::vector<std::string>& items, size_t first, size_t count,
          std::string_view separator) {
  for (size_t i = first; i < first + count; ++i) {
    if (i > first) out += separator;
    out += items[i];
  }
}

// JSON members: each after "{" or a previous member.
void Key(std::string& out, const char* name) {
  if (out.back() != '{') out += ", ";
  out.append(1, '"').append(name).append("\": ");
}
void TextMember(std::string& out, const char* name, std::string_view value) {
  Key(out, name);
  AppendJsonString(out, value);
}
void NullMember(std::string& out, const char* name) {
  Key(out, name);
  out += "null";
}
void TextOrNullMember(std::string& out, const char* name, std::string_view value) {
  if (value.empty()) NullMember(out, name);
  else TextMember(out, name, value);
}
void NumberMember(std::string& out, const char* name, int64_t value) {
  Key(out, name);
  out += std::to_string(value);
}

std::string JsonChange(const TNotifyChange& change) {
  std::string out = "{";
  TextMember(out, "time", IsoUtcTime(change.Time));
  TextMember(out, "severity", SeverityName(change.Severity));
  NumberMember(out, "event_id", change.EventId);
  if (change.Controller > 0) NumberMember(out, "controller", change.Controller);
  else NullMember(out, "controller");
  TextMember(out, "object", change.Object);
  TextMember(out, "serial", change.Serial);
  TextMember(out, "from", change.From);
  TextMember(out, "to", change.To);
  TextMember(out, "line", change.Line);
  return out + "}";
}

std::string JsonReason(const TNotifyReason& reason) {
  std::string out = "{";
  TextMember(out, "level", reason.Level);
  TextMember(out, "object", reason.Object);
  TextMember(out, "text", reason.Text);
  return out + "}";
}

TWebhookBody JsonBody(const TNotifyMessage& message, const std::string& host, const std::string& page_url) {
  const std::vector<std::string> changes = RenderSome(message.Changes, TKeep::Newest, JsonChange);
  const std::vector<std::string> reasons = RenderSome(message.Reasons, TKeep::First, JsonReason);

  std::string out = "{";
  NumberMember(out, "format", 1);
  TextMember(out, "host", host);
  TextMember(out, "event", NotifyEventName(message.Event));
  TextMember(out, "verdict", message.Verdict);
  TextOrNullMember(out, "previous_verdict", message.PreviousVerdict);
  TextMember(out, "summary", message.Summary());
  TextOrNullMember(out, "page_url", page_url);
  TextMember(out, "time", IsoUtcTime(message.Time));
  const TKept kept = FitLists(changes, reasons, 2, out.size());
  Key(out, "changes");
  out += "[";
  Join(out, changes, changes.size() - kept.Changes, kept.Changes, ", ");
  out += "]";
  NumberMember(out, "left_out", static_cast<int64_t>(message.LeftOut + (message.Changes.size() - kept.Changes)));
  Key(out, "reasons");
  out += "[";
  Join(out, reasons, 0, kept.Reasons, ", ");
  out += "]}";
  return {kJsonType, std::move(out)};
}

// One line of the text formats, in the form it is written: valid UTF-8 with no control
// characters (a line end inside a listing's text must not start a line of its own), and
// for the text format escaped as the inside of a JSON string.
std::string LineOf(std::string_view text, TWebhookFormat format) {
  static constexpr TSpecialBytes kControls = SpecialBytes([](unsigned b) { return b < 0x20 || b == 0x7F; });
  std::string line;
  if (format == TWebhookFormat::Plain) {
    AppendUtf8Escaped(line, text, kControls, [](std::string& o, unsigned char) { o += ' '; });
    return line;
  }
  std::string blanked(text);
  for (char& c : blanked)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  AppendJsonString(line, blanked);
  return line.substr(1, line.size() - 2);
}

TWebhookBody TextBody(const TNotifyMessage& message, TWebhookFormat format, const std::string& page_url) {
  const std::string_view separator = format == TWebhookFormat::Plain ? "\n" : "\\n";
  const bool reminder = message.Event == TNotifyEvent::Reminder;
  const std::vector<TNotifyChange> no_changes;
  const std::vector<TNotifyReason> no_reasons;
  const std::vector<TNotifyChange>& told_changes = reminder ? no_changes : message.Changes;
  const std::vector<TNotifyReason>& told_reasons = reminder ? message.Reasons : no_reasons;
  const std::vector<std::string> changes = RenderSome(told_changes, TKeep::Newest, [&](const TNotifyChange& change) {
    return LineOf(std::string(SeverityName(change.Severity)) + " " + change.Line, format);
  });
  const std::vector<std::string> reasons = RenderSome(told_reasons, TKeep::First, [&](const TNotifyReason& reason) {
    return LineOf(reason.Level + " " + reason.Object + ": " + reason.Text, format);
  });
  const std::string summary = LineOf(message.Summary(), format);
  const std::string address = page_url.empty() ? std::string() : LineOf(page_url, format);
  const TKept kept = FitLists(changes, reasons, separator.size(), summary.size() + address.size() + 16);

  std::string out = format == TWebhookFormat::Plain ? "" : "{\"text\": \"";
  out += summary;
  const uint64_t left_out = message.LeftOut + (told_changes.size() - kept.Changes);
  if (left_out > 0) out.append(separator).append("(" + std::to_string(left_out) + " earlier changes left out)");
  if (kept.Changes > 0) out += separator;
  Join(out, changes, changes.size() - kept.Changes, kept.Changes, separator);
  if (kept.Reasons > 0) out += separator;
  Join(out, reasons, 0, kept.Reasons, separator);
  if (kept.Reasons < told_reasons.size())
    out.append(separator).append("(" + std::to_string(told_reasons.size() - kept.Reasons) + " more reasons left out)");
  if (!address.empty()) out.append(separator).append(address);
  if (format == TWebhookFormat::Plain) return {kPlainType, std::move(out)};
  out += "\"}";
  return {kJsonType, std::move(out)};
}

}  // namespace

bool ParseWebhookFormat(const std::string& text, TWebhookFormat& format) {
  static constexpr std::pair<const char*, TWebhookFormat> kFormats[] = {
      {"json", TWebhookFormat::Json}, {"text", TWebhookFormat::Text}, {"plain", TWebhookFormat::Plain}};
  for (const auto& [name, value] : kFormats) {
    if (SameTextAscii(text, name)) {
      format = value;
      return true;
    }
  }
  return false;
}

std::string IsoUtcTime(int64_t utc_seconds) {
  // The civil time of UTC seconds is that of local seconds with no zone.
  const TCivilTime t = CivilTime(utc_seconds);
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", static_cast<long long>(t.year),
                static_cast<long long>(t.month), static_cast<long long>(t.day), static_cast<long long>(t.hour),
                static_cast<long long>(t.minute), static_cast<long long>(t.second));
  return text;
}

TWebhookBody RenderWebhookBody(const TNotifyMessage& message, TWebhookFormat format, const std::string& host,
                               const std::string& page_url) {
  if (format == TWebhookFormat::Json) return JsonBody(message, host, page_url);
  return TextBody(message, format, page_url);
}

}  // namespace kv
