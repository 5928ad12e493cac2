#include "parse/config_parser.h"

#include <unordered_map>

#include "base/core_log_writer.h"
#include "base/text_case.h"
#include "base/text_helpers.h"
#include "parse/listing_dialects.h"

namespace kv {

std::pair<std::string, std::string> SplitPair(const std::string& line) {
  return {TrimBlanks(TextBefore(line, ": ")), TrimBlanks(TextAfter(line, ": "))};
}

namespace {

enum class TKind { None, Version, BackupUnit, Enclosure, HardDrive };

// Finds the item of a raw list by Number or appends one, through a side index so that a
// listing with many blocks stays linear. The index starts from what the list already holds
// (ParseConfig does not clear the lists), first item of a Number winning like IndexOf.
template <typename TList>
class TBlockFinder {
 public:
  explicit TBlockFinder(TList& list) : list_(list) {
    for (int i = 0; i < list.Count(); ++i) index_.emplace(list.Item(i).Number, i);
  }
  auto& FindOrAdd(const std::string& number) {
    const std::string low = LowerCaseAscii(number);
    const auto it = index_.find(low);
    if (it != index_.end()) return list_.Item(it->second);
    auto& item = list_.Add();
    item.Number = low;
    index_.emplace(low, list_.Count() - 1);
    return item;
  }

 private:
  TList& list_;
  std::unordered_map<std::string, int> index_;
};

// The number that follows `phrase` in "logical device number 1": the text starting two
// characters after the phrase (one separating blank skipped). Returns false when there is
// no such text; otherwise `number` is its decimal form or empty when it is not an integer.
bool NumberAfterPhrase(const std::string& low, const std::string& phrase, std::string& number) {
  const size_t p = low.find(phrase);
  const size_t start = p + phrase.size() + 1;
  if (start >= low.size()) return false;
  const int32_t n = ToInt(std::string_view(low).substr(start), -1);
  number = n == -1 ? std::string() : std::to_string(n);
  return true;
}

// A column-0 heading that no generation we know prints: a new utility version shows up in
// the core log instead of its block being dropped in silence. Each heading is written once
// while the caller's TSeenHeadings lives, at most kUnknownHeadingsPerListing of them per
// listing.
constexpr int kUnknownHeadingsPerListing = 5;
constexpr size_t kUnknownHeadingsRemembered = 1000;
constexpr size_t kHeadingShown = 120;

class TConfigParser {
 public:
  TConfigParser(TKVCore& core, TSeenHeadings& seen)
      : core_(core), seen_(seen), lds_(core.LDs), zeplds_(core.ZepLDs), hdds_(core.HDDs),
        enclosures_(core.Enclosures) {}

  void Line(const std::string& line) {
    const std::string low = DialectLower(line);
    if (Heading(line, low)) return;
    switch (section_) {
      case TListingBlock::Controller: ControllerLine(line, low); break;
      case TListingBlock::LogicalDevice: LogicalDeviceLine(line, low); break;
      case TListingBlock::PhysicalDevice: PhysicalDeviceLine(line, low); break;
      case TListingBlock::ZepCache: ZepCacheLine(line, low); break;
      case TListingBlock::None:
      case TListingBlock::Skipped: break;
    }
  }

 private:
  void Enter(TListingBlock section) {
    section_ = section;
    number_.clear();
    kind_ = TKind::None;
    in_sub_block_ = false;
  }

  bool Heading(const std::string& line, const std::string& low) {
    const TListingBlock block = BlockOfHeading(low);
    const bool indented = Indentation(line) > 0;
    // Inside the controller block an indented "Connector information" or "Lane
    // Information" is one more sub-heading of the controller (utility 2.x and later).
    if (block == TListingBlock::Skipped && indented && section_ == TListingBlock::Controller)
      return false;
    if (block != TListingBlock::None) {
      Enter(block);
      return true;
    }
    if (indented || !LooksLikeHeading(line) || IsBlockLine(low)) return false;
    UnknownHeading(TrimBlanks(line));
    Enter(TListingBlock::None);
    return true;
  }

  void UnknownHeading(const std::string& heading) {
    if (unknown_headings_ >= kUnknownHeadingsPerListing) return;
    const std::string shown = heading.substr(0, kHeadingShown);
    if (!seen_.FirstTime(shown)) return;
    ++unknown_headings_;
    WriteCoreLog("PARSE! unknown heading in the configuration listing, its block is skipped: [" +
                 shown + "]");
  }

  //    Controller Version Information
  //    BIOS                                     : 5.2-0 (15421)
  //    Controller Battery Information
  //    Status                                   : Optimal
  //    Controller Vital Product Data
  //    VPD Assigned#                            : 25R8078
  // Pairs go to the list of the last version or backup unit sub-heading; another
  // sub-heading at the same depth or shallower hands them back to the controller, one
  // nested deeper ("Supercap Information" under the backup unit) keeps them where they are.
  void ControllerLine(const std::string& line, const std::string& low) {
    if (kind_ != TKind::Version && IsVersionHeading(low)) {
      Mark(TKind::Version, line);
      return;
    }
    if (kind_ != TKind::BackupUnit && IsBackupUnitHeading(low)) {
      Mark(TKind::BackupUnit, line);
      return;
    }
    if (LooksLikeHeading(line)) {
      const bool marker = IsVersionHeading(low) || IsBackupUnitHeading(low);  // repeated
      if (!marker && Indentation(line) <= marker_indent_) kind_ = TKind::None;
      return;
    }
    if (!Contains(low, ": ")) return;
    const auto [key, value] = SplitPair(line);
    TKVList& target = kind_ == TKind::Version      ? core_.VersionInfo
                      : kind_ == TKind::BackupUnit ? core_.BBUInfo
                                                   : core_.ControllerInfo;
    target.Add(key, value);
  }

  void Mark(TKind kind, const std::string& line) {
    kind_ = kind;
    marker_indent_ = Indentation(line);
  }

  // Logical device number 0                    (old firmware: "Logical drive number 0")
  //    Logical device name                      : Data 1
  //    Logical device segment information       (utility 3.x: "Array Physical Device Information")
  //    Segment 0                                : Present (...) WD-WX31A1234567
  void LogicalDeviceLine(const std::string& line, const std::string& low) {
    if (Contains(low, "logical device number")) {
      if (NumberAfterPhrase(low, "logical device number", number_)) in_sub_block_ = false;
      return;
    }
    if (number_.empty()) return;
    if (IsMemberHeading(low)) {
      in_sub_block_ = true;
      return;
    }
    if (!Contains(low, ": ")) return;
    const auto [key, value] = SplitPair(line);
    TKVLDItem& item = lds_.FindOrAdd(number_);
    (in_sub_block_ ? item.Segments : item.Info).Add(key, value);
  }

  //       Device #2
  //          Device is an Enclosure services device
  //          Enclosure ID                       : 0
  //          Status of Enclosure services device
  //             Temperature                     : Normal
  void PhysicalDeviceLine(const std::string& line, const std::string& low) {
    if (Contains(low, "device #")) {
      kind_ = TKind::None;
      const std::string text = TextAfter(low, "#");
      if (!text.empty()) {
        const int32_t n = ToInt(text, -1);
        number_ = n == -1 ? std::string() : std::to_string(n);
        in_sub_block_ = false;
      }
      return;
    }
    if (number_.empty()) return;
    if (kind_ == TKind::None) {
      if (Contains(low, "device is")) {
        if (Contains(low, "enclosure")) {
          kind_ = TKind::Enclosure;
          in_sub_block_ = false;
        } else if (Contains(low, "hard drive")) {
          kind_ = TKind::HardDrive;
        }
      }
      return;
    }
    if (kind_ == TKind::Enclosure) {
      if (Contains(low, "status of")) {
        in_sub_block_ = true;
      } else if (Contains(low, ": ")) {
        const auto [key, value] = SplitPair(line);
        TKVEnclosureItem& item = enclosures_.FindOrAdd(number_);
        (in_sub_block_ ? item.StatusInfo : item.Info).Add(key, value);
      }
      return;
    }
    if (kind_ == TKind::HardDrive && Contains(low, ": ")) {
      const auto [key, value] = SplitPair(line);
      hdds_.FindOrAdd(number_).Info.Add(key, value);
    }
  }

  // zepCache device number 100
  //    Device Name                              : zepCache
  //    Logical device segment information
  void ZepCacheLine(const std::string& line, const std::string& low) {
    if (Contains(low, "zepcache device number")) {
      if (NumberAfterPhrase(low, "zepcache device number", number_)) in_sub_block_ = false;
      return;
    }
    if (number_.empty()) return;
    if (IsMemberHeading(low)) {
      in_sub_block_ = true;
    } else if (Contains(low, ": ")) {
      const auto [key, value] = SplitPair(line);
      TKVZEPLDItem& item = zeplds_.FindOrAdd(number_);
      (in_sub_block_ ? item.Segments : item.Info).Add(key, value);
    }
  }

  TKVCore& core_;
  TSeenHeadings& seen_;
  TBlockFinder<TKVLDList> lds_;
  TBlockFinder<TKVZEPLDList> zeplds_;
  TBlockFinder<TKVHDDList> hdds_;
  TBlockFinder<TKVEnclosureList> enclosures_;
  TListingBlock section_ = TListingBlock::None;
  std::string number_;
  TKind kind_ = TKind::None;
  size_t marker_indent_ = 0;
  bool in_sub_block_ = false;
  int unknown_headings_ = 0;
};

}  // namespace

bool TSeenHeadings::FirstTime(const std::string& heading) {
  if (seen_.size() >= kUnknownHeadingsRemembered) return false;
  return seen_.insert(heading).second;
}

void ParseConfig(const std::string& text, TKVCore& core, TSeenHeadings& seen) {
  TConfigParser parser(core, seen);
  // One line at a time through one buffer: a listing of a million lines held as a vector of
  // strings would take twice the text again.
  std::string line;
  ForEachLine(text, [&](std::string_view view) {
    line.assign(view);
    parser.Line(line);
  });
}

void ParseConfig(const std::string& text, TKVCore& core) {
  TSeenHeadings seen;
  ParseConfig(text, core, seen);
}

}  // namespace kv
