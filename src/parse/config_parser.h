#pragma once
// The configuration listing parser and the two per-drive matching steps.
//
// The listing is a run of titled blocks of key/value lines, the key padded with blanks up
// to a colon, a blank and the value:
//
//   Controller information
//      Controller Status                        : Optimal
//   Logical device information
//   Logical device number 0
//      RAID level                               : 5
//      Logical device segment information
//      Segment 0                                : Present (Controller:1,Enclosure:0,Slot:0) WD-WX31A1234567
//   Physical Device information
//         Device #0
//            Device is a Hard drive
//            Reported Channel,Device(T:L)       : 0,0(0:0)
//            Reported Location                  : Enclosure 0, Slot 0
//         Device #8
//            Device is an Enclosure services device
//            Status of Enclosure services device
//               Temperature                     : 31 C
//   zepCache 3.0 information
//   zepCache device number 100
//
// ParseConfigText stores every pair uninterpreted in the raw lists of a TKVCore (it is the
// body of TKVCore::ParseConfig). TDriveMatcher runs the channel and location matches of
// TKVCore::BuildResult over indexes built once, so a whole listing matches in linear time.
// Single-threaded, like the model.
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/kv_core.h"
#include "parse/listing_dialects.h"

namespace kv {

// Splits `line` at its first ": " into (key, value), both trimmed of blanks.
std::pair<std::string, std::string> SplitPair(const std::string& line);

void ParseConfigText(TKVCore& core, const std::string& text);

// Column-0 headings of no known generation are written to the core log once each, at most
// five a listing, until this is called (or the process ends); the memory holds 1000.
void ForgetUnknownHeadings();

// Built after the enclosures, logical devices and zepCache devices of core.Result (and the
// controller's serial number) are final; stays valid while drives are appended. Every
// lookup goes through an index, so a whole listing matches in linear time.
class TDriveMatcher {
 public:
  explicit TDriveMatcher(TKVCore& core);

  // Value of "Reported Channel,Device": "0,3(3:0)" gives Channel "0", DeviceId "3", then the
  // SMART health and temperature of the drive record on that channel and id.
  void MatchChannel(const std::string& value, TResultHDD& drive);
  // Puts the drive into the enclosure slot that `where` names (the first location that
  // names one wins) and remembers where it sits for LinkMembers. `esd` is the drive's
  // "Reported ESD" value, which tells apart enclosures that report the same Id.
  void Place(const TDriveLocation& where, const std::string& esd, TResultHDD& drive, int driveIndex);
  // Value of "Reported Location": Place without an ESD.
  void MatchLocation(const std::string& value, TResultHDD& drive, int driveIndex);
  // Once every drive is built and placed: links each member row of every logical and
  // zepCache device to at most one drive, and keeps the rows that name no drive as
  // missing members.
  void LinkMembers(TKVCore& core);

 private:
  // (channel, id, controller serial) -> first SMART drive record.
  using TSmartIndex = std::unordered_map<std::string, const TKVSmartDriveRecord*>;
  template <typename TList>
  static void IndexSmart(const TList& list, TSmartIndex& index);
  const TKVSmartDriveRecord* FindSmart(const TSmartIndex& index, const std::string& channel,
                                       const std::string& id) const;

  std::string controller_serial_;
  TSmartIndex sas_;
  TSmartIndex sata_;
  // Enclosure Id -> the enclosures reporting it, in listing order.
  std::unordered_map<std::string, std::vector<TResultEnclosure*>> enclosures_;
  // The one enclosure printed without an Id, when there is exactly one.
  TResultEnclosure* unnamed_enclosure_ = nullptr;
  // By drive index: where each drive said it sits.
  std::vector<TDriveLocation> locations_;
};

}  // namespace kv
