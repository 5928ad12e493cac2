#include "parse/drive_matcher.h"

#include "base/core_log_writer.h"
#include "base/text_case.h"
#include "base/text_helpers.h"
#include "parse/listing_dialects.h"

namespace kv {

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

void MatchChannel(const std::string& value, TResultHDD& drive, int /*driveIndex*/, TKVCore& core) {
  TDriveMatcher(core).MatchChannel(value, drive);
}

void MatchLocation(const std::string& value, TResultHDD& drive, int driveIndex, TKVCore& core) {
  TDriveMatcher(core).MatchLocation(value, drive, driveIndex);
}

}  // namespace kv
