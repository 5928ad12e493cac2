#include "parse/config_parser.h"

#include "base/core_log_writer.h"
#include "base/text_case.h"
#include "parse/text_helpers.h"

namespace kv {

std::pair<std::string, std::string> SplitPair(const std::string& line) {
  return {TrimBlanks(TextBefore(line, ": ")), TrimBlanks(TextAfter(line, ": "))};
}

namespace {

enum class TSection { None, Controller, LogicalDevice, PhysicalDevice, ZepCache };
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

class TConfigParser {
 public:
  explicit TConfigParser(TKVCore& core)
      : core_(core), lds_(core.LDs), zeplds_(core.ZepLDs), hdds_(core.HDDs),
        enclosures_(core.Enclosures) {}

  void Line(const std::string& line) {
    const std::string low = LowerCaseAscii(line);
    if (Header(low)) return;
    switch (section_) {
      case TSection::Controller: ControllerLine(line, low); break;
      case TSection::LogicalDevice: LogicalDeviceLine(line, low); break;
      case TSection::PhysicalDevice: PhysicalDeviceLine(line, low); break;
      case TSection::ZepCache: ZepCacheLine(line, low); break;
      case TSection::None: break;
    }
  }

 private:
  void Enter(TSection section) {
    section_ = section;
    number_.clear();
    kind_ = TKind::None;
  }

  // "Controller information", "Logical device information" and "Physical Device
  // information" must match exactly; the connector and lane headings may carry blanks.
  bool Header(const std::string& low) {
    if (low == "controller information") {
      Enter(TSection::Controller);
    } else if (low == "logical device information") {
      Enter(TSection::LogicalDevice);
    } else if (const std::string trimmed = TrimBlanks(low);
               trimmed == "connector information" || trimmed == "lane information") {
      Enter(TSection::None);
    } else if (low == "physical device information") {
      Enter(TSection::PhysicalDevice);
      in_sub_block_ = false;
    } else if (Contains(low, "zepcache") && Contains(low, "information")) {
      Enter(TSection::ZepCache);
      in_sub_block_ = false;
    } else {
      return false;
    }
    return true;
  }

  //    Controller Version Information
  //    BIOS                                     : 5.2-0 (15421)
  //    Controller Battery Information
  //    Status                                   : Optimal
  void ControllerLine(const std::string& line, const std::string& low) {
    if (kind_ != TKind::Version && Contains(low, "controller version information")) {
      kind_ = TKind::Version;
      return;
    }
    if (kind_ != TKind::BackupUnit && (Contains(low, "controller cache backup unit information") ||
                                       Contains(low, "controller battery information"))) {
      kind_ = TKind::BackupUnit;
      return;
    }
    if (!Contains(low, ": ")) return;
    const auto [key, value] = SplitPair(line);
    TKVList& target = kind_ == TKind::Version      ? core_.VersionInfo
                      : kind_ == TKind::BackupUnit ? core_.BBUInfo
                                                   : core_.ControllerInfo;
    target.Add(key, value);
  }

  // Logical device number 0
  //    Logical device name                      : Data 1
  //    Logical device segment information
  //    Segment 0                                : Present (...) WD-WX31A1234567
  void LogicalDeviceLine(const std::string& line, const std::string& low) {
    if (Contains(low, "logical device number")) {
      if (NumberAfterPhrase(low, "logical device number", number_)) in_sub_block_ = false;
      return;
    }
    if (number_.empty()) return;
    if (Contains(low, "logical device segment information")) {
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
    if (Contains(low, "logical device segment information")) {
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
  TSection section_ = TSection::None;
  std::string number_;
  TKind kind_ = TKind::None;
  bool in_sub_block_ = false;
};

}  // namespace

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
  for (TResultEnclosure& enclosure : core.Result.Enclosures)
    enclosures_.emplace(enclosure.Id, &enclosure);
  auto index_segments = [this](const TStringList& segments, TIntList& members) {
    for (const std::string& line : segments) {
      const std::string low = LowerCaseAscii(line);
      if (!Contains(low, "present") && !Contains(low, "spare")) continue;
      // "Present (Controller:1,Enclosure:0,Slot:3) WD-WX31A1234567" -> the serial number
      const std::string serial = LowerCaseAscii(TrimBlanks(TextAfter(line, ") ")));
      segment_serials_[serial].push_back(&members);
    }
  };
  IndexSmart(core.SASSmart, sas_);
  IndexSmart(core.SATASmart, sata_);
  for (TResultLD& ld : core.Result.LDs) index_segments(ld.Segments, ld.Members);
  for (TResultZepLD& zep : core.Result.ZepLDs) index_segments(zep.Segments, zep.Members);
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

void TDriveMatcher::MatchLocation(const std::string& value, TResultHDD& drive, int driveIndex) {
  const std::string v = LowerCaseAscii(value);
  if (Contains(v, "enclosure")) {
    // "enclosure 0, slot 3": the word after "enclosure", then the word after "slot".
    const std::string e = TrimBlanks(TextAfter(TrimBlanks(TextBefore(v, ", ")), " "));
    if (!e.empty()) {
      const std::string s = TrimBlanks(TextAfter(TrimBlanks(TextAfter(v, ", ")), " "));
      const int32_t slot = ToInt(s, -1);
      if (slot >= 0) {
        const auto it = enclosures_.find(e);
        if (it != enclosures_.end()) {
          it->second->Slots.Add(driveIndex, slot);
          drive.Enclosure = it->second;
        }
      }
    }
  }
  const auto it = segment_serials_.find(LowerCaseAscii(drive.SerialNumber));
  if (it == segment_serials_.end()) return;
  for (TIntList* members : it->second) members->Add(driveIndex, 0);
}

void TKVCore::MatchChannel(const std::string& value, TResultHDD& drive, int /*driveIndex*/) {
  TDriveMatcher(*this).MatchChannel(value, drive);
}

void TKVCore::MatchLocation(const std::string& value, TResultHDD& drive, int driveIndex) {
  TDriveMatcher(*this).MatchLocation(value, drive, driveIndex);
}

}  // namespace kv
