#include "parse/smart_parser.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/text_case.h"
#include "base/text_helpers.h"
#include "model/kv_core.h"
#include "parse/attribute_lines.h"

namespace kv {

namespace {

bool ToInt64(std::string_view s, int64_t& value) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i == s.size()) return false;
  uint64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(s[i] - '0');
    if (v > (UINT64_MAX - digit) / 10) return false;
    v = v * 10 + digit;
  }
  if (negative ? v > static_cast<uint64_t>(INT64_MAX) + 1 : v > static_cast<uint64_t>(INT64_MAX))
    return false;
  value = negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
  return true;
}

// Every "0x" (any case) removed.
std::string WithoutHexPrefix(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
      ++i;
      continue;
    }
    out.push_back(s[i]);
  }
  return out;
}

// FindOrAdd of a parameter list behind a hash map: the list itself searches linearly and a
// SMART text for hundreds of drives asks for every attribute.
template <typename TList>
class TParamsLookup {
 public:
  explicit TParamsLookup(TList& list) : list_(list) {}
  auto& Params(const std::string& channel, const std::string& id) {
    std::string key = channel;
    key.push_back('\0');
    key += id;
    auto it = found_.find(key);
    if (it == found_.end()) it = found_.emplace(key, list_.FindOrAdd(channel, id).Params.get()).first;
    return *it->second;
  }

 private:
  TList& list_;
  std::unordered_map<std::string, decltype(std::declval<TList&>().FindOrAdd("", "").Params.get())>
      found_;
};

struct TDescKey {
  int32_t device, channel, attribute;
  bool operator==(const TDescKey&) const = default;
};
struct TDescKeyHash {
  size_t operator()(const TDescKey& k) const {
    return std::hash<uint64_t>()((static_cast<uint64_t>(static_cast<uint32_t>(k.device)) << 32) ^
                                 (static_cast<uint64_t>(static_cast<uint32_t>(k.channel)) << 16) ^
                                 static_cast<uint32_t>(k.attribute));
  }
};

// A line of a drive's start tag: "channel: " sets the channel, otherwise "id: " the id.
// False when the line holds neither.
bool ReadDriveAddress(const std::string& line, std::string& channel, std::string& id) {
  if (Contains(line, "channel: "))
    channel = ValueAfter(line, "channel: ");
  else if (Contains(line, "id: "))
    id = ValueAfter(line, "id: ");
  else
    return false;
  return true;
}

class TSmartReader {
 public:
  TSmartReader(TKVCore& core, const std::string& source, const std::string& low)
      : core_(core), source_(source), low_(low), budget_(low.size()),
        sas_params_(core.SASSmartParams), sata_params_(core.SATASmartParams) {}

  // Both kinds share the outer walk: statistics elements, then one element per drive.
  void Read(bool sas) {
    const std::string element = sas ? "sassmartstats" : "smartstats";
    int count = 0;
    std::string numbered;
    NumberElements(low_, element, count, numbered);
    std::vector<std::string> lines;
    for (std::string_view e : ExtractElements(numbered, element, count)) {
      if (e.empty()) continue;
      if (!budget_.Spend(e.size())) return;
      ElementAttributesToLines(e, element, lines);
      std::string device, serial;
      for (const auto& l : lines) {
        if (Contains(l, "devicename: "))
          device = ValueAfterNoGt(l, "devicename: ");
        else if (Contains(l, "serialnumber: "))
          serial = ValueAfterNoGt(l, "serialnumber: ");
      }
      int drives = 0;
      std::string drives_text;
      NumberElements(e, "physicaldrivesmartstats", drives, drives_text);
      for (std::string_view d : ExtractElements(drives_text, "physicaldrivesmartstats", drives)) {
        if (!budget_.Spend(d.size())) return;
        std::string drive(d);
        int counter = 0;
        NumberAttributeTags(drive, counter);
        if (sas)
          ReadSasDrive(drive, device, serial);
        else
          ReadSataDrive(drive, device, serial);
      }
    }
  }

  void ResolveDescriptionCase() { ResolveDescriptionNameCase(core_.SmartDescNames, source_); }
  void ForgetDescriptionNames() {
    core_.SmartDescNames.Clear();
    desc_seen_.clear();
  }

 private:
  void ReadSataDrive(const std::string& drive, const std::string& device,
                     const std::string& serial) {
    std::string channel, id, temperature;
    bool has_desc = false;
    TAttributeLinesCache tags(drive);
    std::vector<std::string> names;
    ChildElementNames(drive, names);
    for (const auto& n : names) {
      const std::string t = TrimBlanks(n);
      if (t == "physicaldrivesmartstats") {
        for (const auto& l : tags.Lines(n)) {
          if (ReadDriveAddress(l, channel, id)) continue;
          if (Contains(l, "isdescriptionavailable: ")) {
            const std::string v = ValueAfter(l, "isdescriptionavailable: ");
            has_desc = v == "true" || v == "1";
          }
        }
        continue;
      }
      if (!Contains(t, "attribute_")) continue;
      const auto& lines = tags.Lines(n);
      if (lines.empty()) continue;
      std::string attr_id;
      for (const auto& l : lines)
        if (Contains(l, "id: ")) attr_id = ValueAfter(l, "id: ");
      if (attr_id.empty()) continue;
      TKVSATASmartParams& params = sata_params_.Params(channel, id);
      std::string current, worst, raw, name;
      for (const auto& l : lines) {
        if (Contains(l, "normalizedcurrent: "))
          current = ValueAfter(l, "normalizedcurrent: ");
        else if (Contains(l, "normalizedworst: "))
          worst = ValueAfter(l, "normalizedworst: ");
        else if (Contains(l, "rawvalue: "))
          raw = ValueAfter(l, "rawvalue: ");
        else if (Contains(l, "name: "))
          name = ValueAfter(l, "name: ");
      }
      if (!current.empty() && !worst.empty() && !raw.empty()) {
        const TKVSATASmartP& rec = params.Add(WithoutHexPrefix(attr_id), current, worst, raw);
        if (has_desc) AddDescriptionName(ToInt(id, -1), ToInt(channel, -1), rec.Id, name);
      }
      if (attr_id == "0xc2") {
        for (const auto& l : lines) {
          if (!temperature.empty() || !Contains(l, "rawvalue: ")) continue;
          const std::string v = ValueAfter(l, "rawvalue: ");
          if (!v.empty()) temperature = TempFromRaw(v);
        }
      }
    }
    if (!channel.empty() && !id.empty())
      core_.SATASmart.Add(device, serial, channel, id, "", temperature);
  }

  void ReadSasDrive(const std::string& drive, const std::string& device,
                    const std::string& serial) {
    std::string channel, id, health, temperature;
    TAttributeLinesCache tags(drive);
    std::vector<std::string> names;
    ChildElementNames(drive, names);
    for (const auto& n : names) {
      const std::string t = TrimBlanks(n);
      if (t == "physicaldrivesmartstats") {
        for (const auto& l : tags.Lines(n)) ReadDriveAddress(l, channel, id);
      } else if (t == "smarthealthstatus") {
        for (const auto& l : tags.Lines(n))
          if (Contains(l, "status: ")) health = ValueAfter(l, "status: ");
      } else if (t == "temperaturelogpage") {
        for (const auto& l : tags.Lines(n)) {
          if (!Contains(l, "currenttemperaturecelcius: ")) continue;
          const std::string c = ValueAfter(l, "currenttemperaturecelcius: ");
          if (std::to_string(ToInt(c, -1)) == c) temperature = c + " C";
        }
      } else if (Contains(t, "attribute_")) {
        const auto& lines = tags.Lines(n);
        std::string attr_name;
        for (const auto& l : lines)
          if (Contains(l, "name: ")) attr_name = ValueAfter(l, "name: ");
        if (attr_name.empty()) continue;
        for (const auto& l : lines) {
          if (!Contains(l, "value: ")) continue;
          const std::string v = ValueAfter(l, "value: ");
          if (v.empty()) continue;
          if (Contains(attr_name, "current") && Contains(attr_name, "drive") &&
              Contains(attr_name, "temperature"))
            temperature = TempFromRaw(v);
          else if (Contains(attr_name, "smart") && Contains(attr_name, "health") &&
                   Contains(attr_name, "status"))
            health = TrimBlanks(TextAfter(v, ": "));
          sas_params_.Params(channel, id).Add(NameInFileCase(attr_name),
                                              TrimBlanks(TextAfter(v, ": ")));
        }
      }
    }
    if (!channel.empty() && !id.empty())
      core_.SASSmart.Add(device, serial, channel, id, health, temperature);
  }

  // AddIfNew searches the whole list; names already added are known here without that.
  void AddDescriptionName(int32_t device, int32_t channel, int32_t attribute,
                          const std::string& name) {
    if (device == -1 || channel == -1) return;
    if (!desc_seen_.insert({device, channel, attribute}).second) return;
    core_.SmartDescNames.AddIfNew(device, channel, attribute, name);
  }

  const std::string& NameInFileCase(const std::string& name) {
    auto it = file_case_.find(name);
    if (it == file_case_.end()) {
      const size_t p = low_.find(name);
      it = file_case_
               .emplace(name, p == std::string::npos ? name : source_.substr(p, name.size()))
               .first;
    }
    return it->second;
  }

  TKVCore& core_;
  const std::string& source_;
  const std::string& low_;
  TReadBudget budget_;
  TParamsLookup<TKVSASSmartParamsList> sas_params_;
  TParamsLookup<TKVSATASmartParamsList> sata_params_;
  std::unordered_set<TDescKey, TDescKeyHash> desc_seen_;
  std::unordered_map<std::string, std::string> file_case_;
};

}  // namespace

std::string TempFromRaw(std::string_view raw) {
  int64_t value = 0;
  if (!ToInt64(raw, value) || value == 4294967295LL) return {};
  const int low_byte = static_cast<int>(static_cast<uint64_t>(value) & 0xFF);
  return low_byte > 0 ? std::to_string(low_byte) + " C" : std::string();
}

std::string CaseOf(std::string_view name, std::string_view source) {
  const size_t p = LowerCaseAscii(source).find(name);
  return std::string(p == std::string::npos ? name : source.substr(p, name.size()));
}

void ResolveDescriptionNameCase(TKVSmartDescNamesList& names, const std::string& text) {
  std::vector<std::string> distinct;
  for (int i = 0; i < names.Count(); ++i) {
    const std::string& name = names.Item(i).Name;
    bool seen = false;
    for (const auto& n : distinct) seen = seen || n == name;
    if (!seen) distinct.push_back(name);
  }
  const std::string low = LowerCaseAscii(text);
  for (const auto& n : distinct) {
    const size_t q = low.find("\"" + n + "\"");
    if (q == std::string::npos) continue;
    const std::string resolved = TrimControls(std::string_view(text).substr(q + 1, n.size()));
    if (resolved.empty()) continue;
    names.Rename(n, resolved);
  }
}

void ParseSmart(const std::string& text, TKVCore& core) {
  try {
    const std::string low = LowerCaseAscii(text);
    TSmartReader reader(core, text, low);
    reader.Read(true);
    reader.ForgetDescriptionNames();
    reader.Read(false);
    reader.ResolveDescriptionCase();
  } catch (...) {
    // A SMART text that cannot be read leaves what was added so far.
  }
}

}  // namespace kv
