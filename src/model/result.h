#pragma once
// TKVResult: the interpreted records BuildResult derives from the raw block lists:
// the controller with its backup unit, the logical devices, the zepCache devices,
// the physical drives and the enclosures.
//
// Field order follows the state report and the pages. Values are the texts of the pairs
// as held in the raw lists (already trimmed). The lists own their records; a drive's
// Enclosure points into the same result's Enclosures and is never owned by the drive.
// Single-threaded.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/kv_list.h"

namespace kv {

struct TResultController {
  std::string Status;
  std::string Mode;
  std::string Model;
  std::string SerialNumber;
  std::string Temperature;
  std::string InstalledMemory;
  std::string ChannelDescription;
  TStringList Lines;         // every controller pair, key + ": " + value
  TStringList VersionLines;  // every controller version pair
  std::string BBUStatus;
  std::string BBUUnitType;
  std::string BBUOverallStatus;
  std::string BBUCurrentTemperature;
  std::string BBUCapacityRemaining;
  std::string BBUTimeRemaining;
  std::string BBUOverTemperature;
  TStringList BBULines;  // every backup unit pair
};

struct TResultLD {
  std::string Number;
  std::string Name;
  std::string RaidLevel;
  std::string Status;
  std::string Size;
  std::string UniqueId;
  bool HasUniqueId = false;
  std::string ReadCache;
  std::string ReadCacheStatus;
  std::string WriteCache;
  std::string WriteCacheStatus;
  TStringList Lines;
  TStringList Segments;  // values of the segment pairs
  TIntList Members;      // (drive index, 0)
  TStringList ListedDrives;    // "0,1" pairs of an old firmware's "Drive(s) (Channel,Device)"
  TStringList MissingMembers;  // member rows that name no drive, as printed
};

// An SSD cache device.
struct TResultZepLD {
  std::string Number;
  std::string DeviceName;
  std::string RaidLevel;
  std::string Status;
  std::string Size;
  std::string UniqueId;      // always formed from DeviceName and RaidLevel
  bool HasUniqueId = false;  // always false
  TStringList Lines;
  TStringList Segments;
  TIntList Members;
  TStringList MissingMembers;  // member rows that name no drive, as printed
};

struct TResultEnclosure {
  std::string Vendor;
  std::string Temperature;
  std::string Id;
  TStringList Lines;
  TStringList StatusLines;
  TIntList Slots;  // (drive index, slot number)
  bool HasReportedId = false;  // an "Enclosure ID" pair was printed
  std::string ChannelDevice;   // its "Reported Channel,Device" value
};

struct TResultHDD {
  int32_t Number = -1;
  std::string State;
  std::string TransferSpeed;
  std::string Vendor;
  std::string Model;
  std::string SerialNumber;
  std::string Firmware;
  std::string WorldWideName;
  std::string Size;
  std::string WriteCache;
  TStringList Lines;
  std::string Channel;
  std::string DeviceId;
  std::string SmartHealth;
  std::string SmartTemperature;
  TResultEnclosure* Enclosure = nullptr;  // not owned
};

// An owning, order-keeping list of result records with stable addresses.
template <typename TRecord>
class TResultList {
 public:
  TRecord& Add() {
    items_.push_back(std::make_unique<TRecord>());
    return *items_.back();
  }
  int Count() const { return static_cast<int>(items_.size()); }
  // REQUIRES: 0 <= index < Count().
  TRecord& Item(int index) { return *items_[static_cast<size_t>(index)]; }
  const TRecord& Item(int index) const { return *items_[static_cast<size_t>(index)]; }
  void Clear() {
    while (!items_.empty()) items_.pop_back();
  }

  // Range-for over the records themselves.
  class Iterator {
   public:
    using Inner = typename std::vector<std::unique_ptr<TRecord>>::const_iterator;
    explicit Iterator(Inner it) : it_(it) {}
    TRecord& operator*() const { return **it_; }
    Iterator& operator++() {
      ++it_;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return it_ != other.it_; }

   private:
    Inner it_;
  };
  Iterator begin() const { return Iterator(items_.begin()); }
  Iterator end() const { return Iterator(items_.end()); }

 private:
  std::vector<std::unique_ptr<TRecord>> items_;
};

class TKVResult {
 public:
  TResultList<TResultLD> LDs;
  TResultList<TResultHDD> HDDs;
  TResultList<TResultEnclosure> Enclosures;
  TResultList<TResultZepLD> ZepLDs;
  TResultController Controller;

  // Empties the four lists and the string lists of Controller. The controller's string
  // fields are reset by BuildResult itself.
  void Clear() {
    // Drives point at enclosures: drop the drives first.
    HDDs.Clear();
    LDs.Clear();
    Enclosures.Clear();
    ZepLDs.Clear();
    Controller.Lines.clear();
    Controller.VersionLines.clear();
    Controller.BBULines.clear();
  }
};

}  // namespace kv
