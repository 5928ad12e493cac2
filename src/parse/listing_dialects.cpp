#include "parse/listing_dialects.h"

#include <cctype>

#include "base/text_case.h"
#include "base/text_helpers.h"

namespace kv {

namespace {

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The number right after the first `word` in `low` ("slot 3(connector 0)" -> "3").
std::string NumberAfterWord(std::string_view low, std::string_view word) {
  const size_t at = low.find(word);
  return at == std::string_view::npos ? std::string() : LeadingNumber(low.substr(at + word.size()));
}

// A number in canonical decimal form, or the value lower-cased when it is not one.
std::string Canonical(std::string_view value) {
  const std::string trimmed = TrimBlanks(value);
  if (!trimmed.empty() && trimmed.find_first_not_of("0123456789") == std::string::npos)
    return LeadingNumber(trimmed);
  return LowerCaseAscii(trimmed);
}

}  // namespace

std::string DialectLower(std::string_view line) {
  static constexpr std::string_view kOld = "logical drive";
  static constexpr std::string_view kNew = "logical device";
  const std::string low = LowerCaseAscii(line);
  if (low.find(kOld) == std::string::npos) return low;
  std::string out;
  out.reserve(low.size() + low.size() / 8);
  size_t from = 0;
  for (size_t at = low.find(kOld); at != std::string::npos; at = low.find(kOld, from)) {
    out.append(low, from, at - from).append(kNew);
    from = at + kOld.size();
  }
  return out.append(low, from, std::string::npos);
}

TListingBlock BlockOfHeading(const std::string& low) {
  // Column-0 headings, exactly as printed (a trailing blank makes a line no heading).
  static constexpr struct {
    std::string_view heading;
    TListingBlock block;
  } kHeadings[] = {
      {"controller information", TListingBlock::Controller},
      {"logical device information", TListingBlock::LogicalDevice},
      {"physical device information", TListingBlock::PhysicalDevice},
      {"array information", TListingBlock::Skipped},  // utility 3.x; its devices repeat below
  };
  for (const auto& entry : kHeadings)
    if (low == entry.heading) return entry.block;
  // "zepCache information", "zepCache 3.0 information"
  if (Contains(low, "zepcache") && Contains(low, "information")) return TListingBlock::ZepCache;
  // The connector and lane blocks may be indented and padded with blanks.
  const std::string trimmed = TrimBlanks(low);
  if (trimmed == "connector information" || trimmed == "lane information") return TListingBlock::Skipped;
  return TListingBlock::None;
}

bool IsBlockLine(const std::string& low) {
  static constexpr std::string_view kNumbered[] = {
      "logical device number", "zepcache device number", "array number",
      "connector #",           "device #",               "channel #",
  };
  for (std::string_view phrase : kNumbered)
    if (Contains(low, phrase)) return true;
  return StartsWith(low, "command completed");
}

bool LooksLikeHeading(std::string_view line) {
  if (line.find(':') != std::string_view::npos) return false;
  for (char c : line)
    if (std::isalpha(static_cast<unsigned char>(c))) return true;
  return false;
}

size_t Indentation(std::string_view line) {
  size_t n = 0;
  while (n < line.size() && line[n] == ' ') ++n;
  return n;
}

bool IsVersionHeading(const std::string& low) { return Contains(low, "controller version information"); }

bool IsBackupUnitHeading(const std::string& low) {
  static constexpr std::string_view kHeadings[] = {
      "controller cache backup unit information",  // supercap, utility 2.x
      "controller battery information",            // battery, all generations
      "controller zmm information",                // flash module
  };
  for (std::string_view heading : kHeadings)
    if (Contains(low, heading)) return true;
  return false;
}

bool IsMemberHeading(const std::string& low) {
  return Contains(low, "logical device segment information") ||
         Contains(low, "array physical device information");
}

bool IsMemberRowKey(std::string_view key) { return !key.empty() && IsDigit(key.back()); }

bool IsChannelListKey(const std::string& lowKey) {
  return StartsWith(lowKey, "drive(s)") && Contains(lowKey, "(channel,device)");
}

TMemberRow ParseMemberRow(std::string_view value) {
  TMemberRow row;
  const size_t open = value.find('(');
  row.State = LowerCaseAscii(TrimBlanks(value.substr(0, open)));
  if (open == std::string_view::npos) return row;
  const size_t close = value.find(')', open);
  const std::string_view inside =
      value.substr(open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1);
  if (close != std::string_view::npos) row.Serial = LowerCaseAscii(TrimBlanks(value.substr(close + 1)));

  std::string bare[2];
  int bare_count = 0;
  bool labelled = false;
  size_t start = 0;
  while (start <= inside.size()) {
    size_t comma = inside.find(',', start);
    if (comma == std::string_view::npos) comma = inside.size();
    const std::string_view item = inside.substr(start, comma - start);
    start = comma + 1;
    const size_t colon = item.find(':');
    if (colon == std::string_view::npos) {
      if (bare_count < 2) bare[bare_count] = Canonical(item);
      ++bare_count;
      continue;
    }
    labelled = true;
    const std::string label = LowerCaseAscii(TrimBlanks(item.substr(0, colon)));
    const std::string text = Canonical(item.substr(colon + 1));
    if (label == "enclosure") row.Enclosure = text;
    else if (label == "slot") row.Slot = text;
    else if (label == "connector" || label == "channel") row.Connector = text;
    else if (label == "device") row.Device = text;
  }
  // "(0,5)": a channel,device pair only when it is the whole of the brackets.
  const auto is_number = [](const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
  };
  if (!labelled && bare_count == 2 && is_number(bare[0]) && is_number(bare[1])) {
    row.BareChannel = bare[0];
    row.BareDevice = bare[1];
  }
  return row;
}

TDriveLocation ParseReportedLocation(std::string_view value) {
  TDriveLocation where;
  const std::string low = LowerCaseAscii(TrimBlanks(value));
  where.AnySlot = NumberAfterWord(low, "slot");
  if (StartsWith(low, "enclosure")) {
    // "enclosure 0, slot 3..." names an enclosure; "enclosure direct attached" does not.
    const std::string id = TrimBlanks(TextBefore(low.substr(9), ","));
    if (!id.empty() && id.find_first_not_of("0123456789") == std::string::npos) {
      where.Enclosure = LeadingNumber(id);
      where.Slot = where.AnySlot;
      if (where.Slot.empty()) where.Enclosure.clear();
    }
    where.SlotConnector = NumberAfterWord(low, "connector");
  } else if (StartsWith(low, "connector")) {
    where.Connector = LeadingNumber(low.substr(9));
    where.Device = NumberAfterWord(low, "device");
    if (where.Device.empty()) where.Connector.clear();
  }
  return where;
}

TDriveLocation ParseEnclosureSlotPair(std::string_view value) {
  TDriveLocation where;
  const std::string enclosure = LeadingNumber(TextBefore(value, ","));
  const std::string slot = Contains(value, ",") ? LeadingNumber(TextAfter(value, ",")) : std::string();
  if (!enclosure.empty() && !slot.empty()) {
    where.Enclosure = enclosure;
    where.Slot = slot;
    where.AnySlot = slot;
  }
  return where;
}

std::string LeadingNumber(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  const size_t first = i;
  while (i < s.size() && IsDigit(s[i])) ++i;
  if (i == first) return std::string();
  // Canonical form without leading zeros; long runs stay text so nothing overflows.
  size_t nonzero = first;
  while (nonzero + 1 < i && s[nonzero] == '0') ++nonzero;
  return std::string(s.substr(nonzero, i - nonzero));
}

}  // namespace kv
