#pragma once
// The SMART containers of the model, filled by ParseSmart from the controller utility's
// SMART XML (SAS "sassmartstats" and SATA "smartstats" elements):
//
//   TKVSASSmartList / TKVSATASmartList     one record per drive: device, channel, id,
//                                          health (SAS only), temperature ("41 C")
//   TKVSATASmartParamsList                 per (channel, id): the SATA attribute table
//   TKVSASSmartParamsList                  per (channel, id): the SAS name/value table
//   TKVSmartDescNamesList                  attribute names a SATA drive reports itself
//
// Texts come from the lower-cased XML unless a field says otherwise. Every list owns its
// items; references handed out stay valid until Clear or destruction. Single-threaded.
#include <cstdint>
#include <deque>
#include <memory>
#include <map>
#include <map>
#include <string>
#include <tuple>
#include <tuple>
#include <vector>

namespace kv {

// ---- drive records ---------------------------------------------------------------------

struct TKVSmartDriveRecord {
  std::string DeviceName;    // controller device name of the enclosing statistics element
  std::string SerialNumber;  // controller serial number of that element
  std::string Channel;
  std::string Id;
  std::string Health;  // always empty for SATA
  std::string Temperature;
};
struct TKVSATASmartItem : TKVSmartDriveRecord {};
struct TKVSASSmartItem : TKVSmartDriveRecord {};

template <typename TItem>
class TKVSmartDriveList {
 public:
  void Add(const std::string& deviceName, const std::string& serialNumber,
           const std::string& channel, const std::string& id, const std::string& health,
           const std::string& temperature) {
    TItem item;
    item.DeviceName = deviceName;
    item.SerialNumber = serialNumber;
    item.Channel = channel;
    item.Id = id;
    item.Health = health;
    item.Temperature = temperature;
    items_.push_back(std::move(item));
  }
  int Count() const { return static_cast<int>(items_.size()); }
  // REQUIRES: 0 <= index < Count().
  const TItem& Item(int index) const { return items_[static_cast<size_t>(index)]; }
  void Clear() { items_.clear(); }

 private:
  std::vector<TItem> items_;
};
using TKVSATASmartList = TKVSmartDriveList<TKVSATASmartItem>;
using TKVSASSmartList = TKVSmartDriveList<TKVSASSmartItem>;

// ---- SATA attribute tables -------------------------------------------------------------

// The attribute id text read as hexadecimal, digit by digit, from its lower-cased form
// ("c2" -> 194, "" -> 0). Any character other than 0-9 and a-f gives -1; more than eight
// digits wrap around 32 bits.
int32_t SmartHexId(const std::string& idText);

struct TKVSATASmartP {
  std::string IdText;  // the attribute id without "0x", such as "c2"
  int32_t Id = 0;      // SmartHexId(IdText)
  std::string Current;
  std::string Worst;
  std::string Raw;
};

class TKVSATASmartParams {
 public:
  std::deque<TKVSATASmartP> Attributes;
  std::string Channel;
  std::string Id;

  // Appends a record (computing its Id) and returns it.
  TKVSATASmartP& Add(const std::string& idText, const std::string& current,
                     const std::string& worst, const std::string& raw);
  int Count() const { return static_cast<int>(Attributes.size()); }
  const TKVSATASmartP& Item(int index) const { return Attributes[static_cast<size_t>(index)]; }
};

// ---- SAS attribute tables --------------------------------------------------------------

struct TKVSASSmartP {
  std::string Name;  // in the letter case of the file
  std::string Value;
};

class TKVSASSmartParams {
 public:
  std::deque<TKVSASSmartP> Attributes;
  std::string Channel;
  std::string Id;

  void Add(const std::string& name, const std::string& value) { Attributes.push_back({name, value}); }
  int Count() const { return static_cast<int>(Attributes.size()); }
  const TKVSASSmartP& Item(int index) const { return Attributes[static_cast<size_t>(index)]; }
};

// ---- per-drive attribute table lists ---------------------------------------------------

template <typename TParams>
struct TKVSmartParamsListItem {
  std::string Channel;
  std::string Id;
  std::unique_ptr<TParams> Params = std::make_unique<TParams>();
};
using TKVSATASmartListItem = TKVSmartParamsListItem<TKVSATASmartParams>;
using TKVSASSmartListItem = TKVSmartParamsListItem<TKVSASSmartParams>;

template <typename TParams>
class TKVSmartParamsList {
 public:
  using ItemType = TKVSmartParamsListItem<TParams>;

  // The first item whose Channel and Id equal the arguments exactly, or a new one appended
  // (its Params carry the same Channel and Id).
  ItemType& FindOrAdd(const std::string& channel, const std::string& id) {
    for (auto& item : items_)
      if (item->Channel == channel && item->Id == id) return *item;
    auto item = std::make_unique<ItemType>();
    item->Channel = channel;
    item->Id = id;
    item->Params->Channel = channel;
    item->Params->Id = id;
    items_.push_back(std::move(item));
    return *items_.back();
  }
  int Count() const { return static_cast<int>(items_.size()); }
  // REQUIRES: 0 <= index < Count().
  const ItemType& Item(int index) const { return *items_[static_cast<size_t>(index)]; }
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<ItemType>> items_;
};
using TKVSATASmartParamsList = TKVSmartParamsList<TKVSATASmartParams>;
using TKVSASSmartParamsList = TKVSmartParamsList<TKVSASSmartParams>;

// ---- description names -----------------------------------------------------------------

struct TKVSmartDescNamesItem {
  int32_t DeviceId = -1;
  int32_t Channel = -1;
  int32_t AttributeId = 0;
  std::string Name;
};

class TKVSmartDescNamesList {
 public:
  // Does nothing when deviceId or channel is -1 or the three numbers are already listed.
  void AddIfNew(int32_t deviceId, int32_t channel, int32_t attributeId, const std::string& name);
  // Name of the first item with these three numbers, or empty.
  std::string Find(int32_t deviceId, int32_t channel, int32_t attributeId) const;
  // Gives every item named `from` the name `to`.
  void Rename(const std::string& from, const std::string& to);
  int Count() const { return static_cast<int>(items_.size()); }
  const TKVSmartDescNamesItem& Item(int index) const { return items_[static_cast<size_t>(index)]; }
  void Clear() {
    items_.clear();
    index_.clear();
  }

 private:
  // Each (device, channel, attribute) is found in constant time, so a SMART output with
  // thousands of described attributes stays linear.
  using TKey = std::tuple<int32_t, int32_t, int32_t>;
  static TKey Key(int32_t deviceId, int32_t channel, int32_t attributeId) {
    return {deviceId, channel, attributeId};
  }
  std::vector<TKVSmartDescNamesItem> items_;
  std::map<TKey, size_t> index_;  // position of the first item of each key
};

}  // namespace kv
