#pragma once
// The support archive "support_kvr.zip": the raw source texts of the last collection
// cycle, one member per non-empty text, deflated, with a comment naming the program
// version, the product's web address and the time it was built.
//
// Built by the HTTP thread from the texts it shares out of the served content, after
// PageLock is released; it neither logs nor takes a lock, and it does not copy the texts
// (the caller keeps them alive until it returns). Never throws: on any failure `zip` holds
// a valid archive without members (or stays empty if even that cannot be built).
#include <cstdint>
#include <string>
#include <string_view>

#include "support/zip_writer.h"

namespace kv {

struct SupportArchiveTexts {
  std::string_view config, smart, task, stat, cache;
};

extern const char kProductWebAddress[];

// The archive comment: "Korvane Web Monitor <version>\r\n<address>\r\n\r\ndd/mm/yyyy hh:nn:ss".
std::string SupportArchiveComment(std::string_view version, const platform::LocalDateTime& now);

// Replaces `zip` with the archive stamped with `now` (the members' times and the comment's time).
void WriteSupportArchive(const SupportArchiveTexts& texts, std::string_view version, const TZipTime& now,
                         std::string& zip);
// The same stamped with local Unix seconds and the zone bias then
// (TZipTime::OfLocalSeconds); no clock is read.
void WriteSupportArchive(const SupportArchiveTexts& texts, std::string_view version, int64_t local_seconds,
                         int zone_bias_minutes, std::string& zip);

}  // namespace kv
