#pragma once
// The support archive "support_kvr.zip": the raw source texts of the last collection
// cycle, one member per non-empty text, deflated, with a comment naming the program
// version, the product's web address and the time it was built.
//
// Called by the scan list manager under PageLock; it neither logs nor takes a lock.
// Never throws: on any failure `zip` holds a valid archive without members (or stays
// empty if even that cannot be built).
#include <string>

#include "support/zip_writer.h"

namespace kv {

struct SupportArchiveTexts {
  std::string config, smart, task, stat, cache;
};

extern const char kProductWebAddress[];

// The archive comment: "Korvane Web Monitor <version>\r\n<address>\r\n\r\ndd/mm/yyyy hh:nn:ss".
std::string SupportArchiveComment(const std::string& version, const platform::LocalDateTime& now);

// Replaces `zip` with the archive, stamped with the current time.
void WriteSupportArchive(const SupportArchiveTexts& texts, const std::string& version, std::string& zip);
// The same with the moment handed in (the members' times and the comment's time).
void WriteSupportArchive(const SupportArchiveTexts& texts, const std::string& version, const TZipTime& now,
                         std::string& zip);

}  // namespace kv
