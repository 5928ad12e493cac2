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

namespace kv {

// Splits `line` at its first ": " into (key, value), both trimmed of blanks.
std::pair<std::string, std::string> SplitPair(const std::string& line);

void ParseConfigText(TKVCore& core, const std::string& text);

// Built after the enclosures, logical devices and zepCache devices of core.Result (and the
// controller's serial number) are final; stays valid while drives are appended.
class TDriveMatcher {
 public:
  explicit TDriveMatcher(TKVCore& core);

  // Value of "Reported Channel,Device": "0,3(3:0)" gives Channel "0", DeviceId "3", then the
  // SMART health and temperature of the drive record on that channel and id.
  void MatchChannel(const std::string& value, TResultHDD& drive);
  // Value of "Reported Location": "Enclosure 0, Slot 3" puts the drive into slot 3 of
  // enclosure "0"; then the drive joins every logical or zepCache device whose "present" or
  // "spare" segment line names its serial number.
  void MatchLocation(const std::string& value, TResultHDD& drive, int driveIndex);

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
  // Enclosure Id -> first enclosure with that Id.
  std::unordered_map<std::string, TResultEnclosure*> enclosures_;
  // Lower-cased segment serial -> the device member lists, one entry per matching line, in
  // the order logical devices, then zepCache devices, then segment lines.
  std::unordered_map<std::string, std::vector<TIntList*>> segment_serials_;
};

}  // namespace kv
