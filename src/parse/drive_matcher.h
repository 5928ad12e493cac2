#pragma once
// The drive matcher: where each drive of a configuration listing sits and which device
// members it is. BuildResult (build_result.h) builds one TDriveMatcher per listing; the
// channel and location matches then run over indexes built once, so a whole listing
// matches in linear time. Single-threaded, like the model.
//
//   Reported Channel,Device(T:L)       : 0,3(3:0)             -> MatchChannel
//   Reported Location                  : Enclosure 0, Slot 3  -> Place / MatchLocation
//   Segment 0                          : Present (Controller:1,Enclosure:0,Slot:3) ...
//                                                             -> LinkMembers
#include <string>
#include <unordered_map>
#include <vector>

#include "model/kv_core.h"
#include "parse/listing_dialects.h"

namespace kv {

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

// The two per-drive matching steps of BuildResult on their own, for the value of a drive's
// "Reported Channel,Device" and "Reported Location" pair, each with a matcher built for
// this call. `driveIndex` is the drive's zero-based position in core.Result.HDDs (the
// record itself may not be appended yet).
void MatchChannel(const std::string& value, TResultHDD& drive, int driveIndex, TKVCore& core);
void MatchLocation(const std::string& value, TResultHDD& drive, int driveIndex, TKVCore& core);

}  // namespace kv
