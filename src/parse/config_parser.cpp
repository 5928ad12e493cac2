#include "parse/config_parser.h"

#include <mutex>
#include <unordered_set>

#include "base/core_log_writer.h"
#include "base/text_case.h"
#include "parse/listing_dialects.h"
#include "parse/text_helpers.h"

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
// per process, at most kUnknownHeadingsPerListing of them per listing.
constexpr int kUnknownHeadingsPerListing = 5;
constexpr size_t kUnknownHeadingsRemembered = 1000;
constexpr size_t kHeadingShown = 120;

struct TSeenHeadings {
  std::mutex lock;
  std::unordered_set<std::string> seen;
};

TSeenHeadings& SeenHeadings() {
  static TSeenHeadings headings;
  return headings;
}

// Once the memory is full, no new heading is written: a listing of junk cannot make the
// log, or the memory, grow without bound.
bool FirstTimeSeen(const std::string& heading) {
  TSeenHeadings& h = SeenHeadings();
  const std::lock_guard<std::mutex> guard(h.lock);
  if (h.seen.count(heading) != 0 || h.seen.size() >= kUnknownHeadingsRemembered) return false;
  h.seen.insert(heading);
  return true;
}

class TConfigParser {
 public:
  explicit TConfigParser(TKVCore& core)
      : core_(core), lds_(core.LDs), zeplds_(core.ZepLDs), hdds_(core.HDDs),
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
    if (!FirstTimeSeen(shown)) return;
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

void ForgetUnknownHeadings() {
  TSeenHeadings& h = SeenHeadings();
  const std::lock_guard<std::mutex> guard(h.lock);
  h.seen.clear();
}

void ParseConfigText(TKVCore& core, const std::string& text) {
  TConfigParser parser(core);
  for (const std::string& line : SplitLines(text)) parser.Line(line);
}

void TKVCore::ParseConfig(const std::string& text) { ParseConfigText(*this, text); }

// ---- matching ------------------------------------------------------------------------

namespace {

std::string SmartKey(const std::string& channel, const std::string& id, const std::string& serial) {
  return channel + '\0' + id + '\0' + serial;
}

// Place keys of the member index: what kind of place, then its two numbers.
std::string PlaceKey(char kind, const std::string& a, const std::string& b) {
  return std::string(1, kind) + a + '/' + b;
}

// "2,0(0:0)" -> "2,0": the channel,device pair of a drive's ESD or an enclosure.
std::string ChannelDevicePair(const std::string& value) {
  const std::string pair = TrimBlanks(TextBefore(value, "("));
  return LeadingNumber(TextBefore(pair, ",")) + "," + LeadingNumber(TextAfter(pair, ","));
}

// An enclosure Id as drives name it: "00" and "0" are the same enclosure.
std::string EnclosureKey(const std::string& id) {
  const std::string number = LeadingNumber(id);
  return !number.empty() && id.find_first_not_of("0123456789") == std::string::npos ? number : id;
}

}  // namespace

template <typename TList>
void TDriveMatcher::IndexSmart(const TList& list, TSmartIndex& index) {
  for (int i = 0; i < list.Count(); ++i) {
    const TKVSmartDriveRecord& rec = list.Item(i);
    index.emplace(SmartKey(rec.Channel, rec.Id, rec.SerialNumber), &rec);  // first one wins
  }
}

const TKVSmartDriveRecord* TDriveMatcher::FindSmart(const TSmartIndex& index,
                                                    const std::string& channel,
                                                    const std::string& id) const {
  const auto it = index.find(SmartKey(channel, id, controller_serial_));
  return it == index.end() ? nullptr : it->second;
}

TDriveMatcher::TDriveMatcher(TKVCore& core)
    : controller_serial_(LowerCaseAscii(core.Result.Controller.SerialNumber)) {
  int unnamed = 0;
  for (TResultEnclosure& enclosure : core.Result.Enclosures) {
    enclosures_[EnclosureKey(enclosure.Id)].push_back(&enclosure);
    if (!enclosure.HasReportedId) {
      ++unnamed;
      unnamed_enclosure_ = &enclosure;
    }
  }
  if (unnamed != 1) unnamed_enclosure_ = nullptr;
  IndexSmart(core.SASSmart, sas_);
  IndexSmart(core.SATASmart, sata_);
}

void TDriveMatcher::MatchChannel(const std::string& value_in, TResultHDD& drive) {
  std::string value = value_in;
  if (Contains(value, "(")) value = TrimBlanks(TextBefore(value, "("));
  if (!Contains(value, ",")) {
    WriteCoreLog("ERORR PARSE! parce_channel, non decimal [" + value + "]");
    return;
  }
  const std::string sl = TrimBlanks(TextBefore(value, ","));
  const std::string sv = TrimBlanks(TextAfter(value, ","));
  if (sl.empty()) {
    WriteCoreLog("ERORR PARSE! parce_channel, null [sl=" + sl + ", sv=" + sv + ", data=" + value +
                 "]");
    return;
  }
  drive.Channel = sl;
  drive.DeviceId = sv;
  const TKVSmartDriveRecord* rec = FindSmart(sas_, sl, sv);
  if (rec == nullptr) rec = FindSmart(sata_, sl, sv);
  if (rec != nullptr) {
    drive.SmartHealth = rec->Health;
    drive.SmartTemperature = rec->Temperature;
  }
}

void TDriveMatcher::Place(const TDriveLocation& where, const std::string& esd, TResultHDD& drive,
                          int driveIndex) {
  if (driveIndex >= 0) {
    if (static_cast<size_t>(driveIndex) >= locations_.size()) locations_.resize(driveIndex + 1);
    TDriveLocation& known = locations_[static_cast<size_t>(driveIndex)];
    for (auto field : {&TDriveLocation::Enclosure, &TDriveLocation::Slot, &TDriveLocation::Connector,
                       &TDriveLocation::Device, &TDriveLocation::SlotConnector, &TDriveLocation::AnySlot})
      if ((known.*field).empty()) known.*field = where.*field;
  }
  if (drive.Enclosure != nullptr || where.Enclosure.empty()) return;
  const int32_t slot = ToInt(where.Slot, -1);
  if (slot < 0) return;
  TResultEnclosure* enclosure = nullptr;
  if (const auto it = enclosures_.find(where.Enclosure); it != enclosures_.end()) {
    // Two enclosures may report the same Id; the drive's ESD names the one it sits in.
    enclosure = it->second.front();
    const std::string drive_esd = esd.empty() ? std::string() : ChannelDevicePair(esd);
    for (TResultEnclosure* candidate : it->second)
      if (!drive_esd.empty() && ChannelDevicePair(candidate->ChannelDevice) == drive_esd) {
        enclosure = candidate;
        break;
      }
  } else {
    // Old firmware prints the enclosure without its Id; a lone such enclosure is the one.
    enclosure = unnamed_enclosure_;
  }
  if (enclosure == nullptr) return;
  enclosure->Slots.Add(driveIndex, slot);
  drive.Enclosure = enclosure;
}

void TDriveMatcher::MatchLocation(const std::string& value, TResultHDD& drive, int driveIndex) {
  Place(ParseReportedLocation(value), std::string(), drive, driveIndex);
}

// Member rows name a place in their own labels; a labelled pair matches only its own kind
// of place, a bare "(a,b)" only the channel,device. The serial number is the fallback for a
// row without a place or whose place matches no drive. Of several candidates, the first not
// yet linked by another row wins, so a row never takes two drives and copies of a drive
// under one place are shared out.
void TDriveMatcher::LinkMembers(TKVCore& core) {
  TKVResult& result = core.Result;
  // The drives under one key, and how many of the first ones are linked already, so that
  // finding the first free one stays linear however many rows name the same place.
  struct TCandidates {
    std::vector<int> drives;
    size_t linked_prefix = 0;
  };
  using TIndex = std::unordered_map<std::string, TCandidates>;
  TIndex places;
  TIndex serials;
  const int drives = result.HDDs.Count();
  for (int i = 0; i < drives; ++i) {
    const TResultHDD& d = result.HDDs.Item(i);
    if (static_cast<size_t>(i) < locations_.size()) {
      const TDriveLocation& at = locations_[static_cast<size_t>(i)];
      if (!at.Enclosure.empty()) places[PlaceKey('e', at.Enclosure, at.Slot)].drives.push_back(i);
      if (!at.Connector.empty()) places[PlaceKey('c', at.Connector, at.Device)].drives.push_back(i);
      if (!at.SlotConnector.empty() && !at.AnySlot.empty())
        places[PlaceKey('s', at.SlotConnector, at.AnySlot)].drives.push_back(i);
    }
    const std::string channel = LeadingNumber(d.Channel);
    const std::string device = LeadingNumber(d.DeviceId);
    if (!channel.empty() && !device.empty()) places[PlaceKey('h', channel, device)].drives.push_back(i);
    if (!d.SerialNumber.empty()) serials[LowerCaseAscii(d.SerialNumber)].drives.push_back(i);
  }

  std::vector<bool> linked(static_cast<size_t>(drives), false);
  const auto lookup = [](TIndex& index, const std::string& key) -> TCandidates* {
    const auto it = index.find(key);
    return it == index.end() ? nullptr : &it->second;
  };
  const auto resolve = [&](const TMemberRow& row) -> int {
    TCandidates* candidates = nullptr;
    if (!row.Enclosure.empty() && !row.Slot.empty()) {
      candidates = lookup(places, PlaceKey('e', row.Enclosure, row.Slot));
    } else if (!row.Connector.empty() && !row.Device.empty()) {
      for (char kind : {'c', 'h', 's'})
        if (candidates == nullptr) candidates = lookup(places, PlaceKey(kind, row.Connector, row.Device));
    } else if (!row.BareChannel.empty()) {
      candidates = lookup(places, PlaceKey('h', row.BareChannel, row.BareDevice));
    }
    if (candidates == nullptr && !row.Serial.empty()) candidates = lookup(serials, row.Serial);
    if (candidates == nullptr) return -1;
    std::vector<int>& list = candidates->drives;
    size_t& next = candidates->linked_prefix;
    while (next < list.size() && linked[static_cast<size_t>(list[next])]) ++next;
    return next < list.size() ? list[next] : list.front();
  };

  // Members are added drive by drive, each drive's devices in listing order.
  std::vector<std::vector<TIntList*>> member_of(static_cast<size_t>(drives));
  const auto link_rows = [&](const TKVList& rows, const TStringList& listed, TIntList& members,
                             TStringList& missing) {
    const auto link = [&](const std::string& text, const TMemberRow& row) {
      const int drive = row.IsMissing() ? -1 : resolve(row);
      if (drive >= 0) {
        linked[static_cast<size_t>(drive)] = true;
        member_of[static_cast<size_t>(drive)].push_back(&members);
      } else if (row.IsMissing() || drives > 0) {
        // A listing without drives (a partial capture) cannot tell a missing member.
        missing.push_back(text);
      }
    };
    for (const TKVItem& pair : rows)
      if (IsMemberRowKey(pair.Key)) link(pair.Value, ParseMemberRow(pair.Value));
    for (const std::string& pair : listed) link(pair, ParseMemberRow("(" + pair + ")"));
  };
  // Result and raw lists hold the devices in the same order.
  for (int n = 0; n < result.LDs.Count() && n < core.LDs.Count(); ++n) {
    TResultLD& ld = result.LDs.Item(n);
    link_rows(core.LDs.Item(n).Segments, ld.ListedDrives, ld.Members, ld.MissingMembers);
  }
  for (int n = 0; n < result.ZepLDs.Count() && n < core.ZepLDs.Count(); ++n) {
    TResultZepLD& zep = result.ZepLDs.Item(n);
    link_rows(core.ZepLDs.Item(n).Segments, {}, zep.Members, zep.MissingMembers);
  }
  for (int i = 0; i < drives; ++i)
    for (TIntList* members : member_of[static_cast<size_t>(i)]) members->Add(i, 0);
}

void TKVCore::MatchChannel(const std::string& value, TResultHDD& drive, int /*driveIndex*/) {
  TDriveMatcher(*this).MatchChannel(value, drive);
}

void TKVCore::MatchLocation(const std::string& value, TResultHDD& drive, int driveIndex) {
  TDriveMatcher(*this).MatchLocation(value, drive, driveIndex);
}

}  // namespace kv
