#include "model/smart.h"

#include "base/text_case.h"

namespace kv {

int32_t SmartHexId(const std::string& idText) {
  uint32_t value = 0;
  for (char c : LowerCaseAscii(idText)) {
    uint32_t digit;
    if (c >= '0' && c <= '9')
      digit = static_cast<uint32_t>(c - '0');
    else if (c >= 'a' && c <= 'f')
      digit = static_cast<uint32_t>(c - 'a' + 10);
    else
      return -1;
    value = value * 16u + digit;
  }
  return static_cast<int32_t>(value);
}

TKVSATASmartP& TKVSATASmartParams::Add(const std::string& idText, const std::string& current,
                                       const std::string& worst, const std::string& raw) {
  Attributes.push_back({idText, SmartHexId(idText), current, worst, raw});
  return Attributes.back();
}

void TKVSmartDescNamesList::AddIfNew(int32_t deviceId, int32_t channel, int32_t attributeId,
                                     const std::string& name) {
  if (deviceId == -1 || channel == -1) return;
  if (!index_.emplace(Key(deviceId, channel, attributeId), items_.size()).second) return;
  items_.push_back({deviceId, channel, attributeId, name});
}

std::string TKVSmartDescNamesList::Find(int32_t deviceId, int32_t channel,
                                        int32_t attributeId) const {
  const auto it = index_.find(Key(deviceId, channel, attributeId));
  return it == index_.end() ? std::string() : items_[it->second].Name;
}

void TKVSmartDescNamesList::Rename(const std::string& from, const std::string& to) {
  for (auto& item : items_)
    if (item.Name == from) item.Name = to;
}

}  // namespace kv
