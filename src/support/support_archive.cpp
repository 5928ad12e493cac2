#include "support/support_archive.h"

#include <cstdio>

namespace kv {

const char kProductWebAddress[] = "https://www.korvane.example/support";

std::string SupportArchiveComment(std::string_view version, const platform::LocalDateTime& now) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%02d/%02d/%04d %02d:%02d:%02d", now.day, now.month, now.year, now.hour,
                now.minute, now.second);
  std::string comment = "Korvane Web Monitor ";
  comment.append(version).append("\r\n").append(kProductWebAddress).append("\r\n\r\n").append(stamp);
  return comment;
}

void WriteSupportArchive(const SupportArchiveTexts& texts, std::string_view version, int64_t local_seconds,
                         int zone_bias_minutes, std::string& zip) {
  WriteSupportArchive(texts, version, TZipTime::OfLocalSeconds(local_seconds, zone_bias_minutes), zip);
}

void WriteSupportArchive(const SupportArchiveTexts& texts, std::string_view version, const TZipTime& now,
                         std::string& zip) {
  const std::pair<const char*, const std::string_view*> members[] = {
      {"get_config.txt", &texts.config},     {"get_smartstats.txt", &texts.smart},
      {"get_logs_stats.txt", &texts.stat},   {"get_status.txt", &texts.task},
      {"get_logs_cache.txt", &texts.cache},
  };
  zip.clear();
  try {
    TFWZipWriter writer;
    for (const auto& [name, text] : members) {
      if (!text->empty()) writer.AddStreamView(name, *text, now);
    }
    writer.Comment = SupportArchiveComment(version, now.local);
    if (writer.BuildZip(zip) != TZipBuildResult::kFailed) return;
  } catch (...) {
  }
  // A half-written archive is useless to every reader: fall back to one without members
  // that still carries the comment.
  try {
    zip.clear();
    TFWZipWriter empty;
    empty.Comment = SupportArchiveComment(version, now.local);
    if (empty.BuildZip(zip) != TZipBuildResult::kDone) zip.clear();
  } catch (...) {
    zip.clear();
  }
}

}  // namespace kv
