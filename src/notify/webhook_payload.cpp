#include "notify/webhook_payload.h"

#include <cstdio>

#include "base/local_time_text.h"
#include "base/text_case.h"

namespace kv {

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

}  // namespace kv
