#include "notify/notify_settings.h"

#include "base/text_case.h"

namespace kv {

bool ParseSeverity(const std::string& text, TSeverity& severity) {
  for (TSeverity s : {TSeverity::Information, TSeverity::Warning, TSeverity::Critical}) {
    if (SameTextAscii(text, SeverityName(s))) {
      severity = s;
      return true;
    }
  }
  return false;
}

TNotifySettings::TNotifySettings(const TSettings& settings)
    : Command(settings.notify_command),
      TimeoutSeconds(settings.notify_timeout),
      Webhook(settings.notify_webhook),
      WebhookHeader(settings.notify_webhook_header),
      WebhookCa(settings.notify_webhook_ca),
      PageUrl(settings.notify_page_url) {
  ParseSeverity(settings.notify_min_severity, Policy.MinSeverity);
  ParseWebhookFormat(settings.notify_webhook_format, Format);
  Policy.RepeatSeconds = settings.notify_repeat_hours * 3600;
  Policy.MaxPerHour = settings.notify_max_per_hour;
}

}  // namespace kv
