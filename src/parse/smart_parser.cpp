#include "parse/smart_parser.h"

#include <algorithm>
#include <cstdint>
#include <deque>
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

void ResolveNameCase(TKVSmartDescNamesList& names, std::string_view text, std::string_view low);

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
std::string WithoutHexPrefix(std::string_view s) {
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

// The attribute lines of one start tag ("key: value", see StartTagLines), asked what the
// readers ask of them: whether a line holds "word: " and the text after its first one.
// `key` is always letters then ": ". When no key holds a blank, such a text can neither lie
// inside a key nor straddle the ": " that joins key and value other than by ending the
// key, so both answers come from the two parts. Otherwise the lines are joined and
// searched as they are.
class TTagLines {
 public:
  // `text` runs from the tag's "<"; empty when there is no tag.
  void Read(std::string_view text) {
    StartTagLines(text, buffer_, parts_);
    joined_.clear();
    for (const auto& p : parts_) {
      if (std::find(p.Key.begin(), p.Key.end(), ' ') == p.Key.end()) continue;
      for (const auto& q : parts_) joined_.push_back(std::string(q.Key).append(": ").append(q.Value));
      break;
    }
  }
  size_t Count() const { return parts_.size(); }
  bool Has(size_t i, std::string_view key) const {
    if (!joined_.empty()) return Contains(joined_[i], key);
    const std::string_view v = parts_[i].Value;
    return EndsWithWord(parts_[i].Key, key) || (v.size() >= key.size() && Contains(v, key));
  }
  // The trimmed text after the first `key`. REQUIRES: Has(i, key).
  std::string_view After(size_t i, std::string_view key) const {
    if (!joined_.empty()) {
      const std::string_view line = joined_[i];
      return TrimBlankView(line.substr(line.find(key) + key.size()));
    }
    const std::string_view v = parts_[i].Value;
    if (EndsWithWord(parts_[i].Key, key)) return TrimBlankView(v);
    return TrimBlankView(v.substr(v.find(key) + key.size()));
  }

 private:
  static bool EndsWithWord(std::string_view k, std::string_view key) {
    return k.ends_with(key.substr(0, key.size() - 2));
  }

  std::string buffer_;
  std::vector<TAttributeLine> parts_;
  std::vector<std::string> joined_;
};

// A line of a drive's start tag: "channel: " sets the channel, otherwise "id: " the id.
// False when the line holds neither.
bool ReadDriveAddress(const TTagLines& lines, size_t i, std::string& channel, std::string& id) {
  if (lines.Has(i, "channel: "))
    channel = lines.After(i, "channel: ");
  else if (lines.Has(i, "id: "))
    id = lines.After(i, "id: ");
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
        int counter = 0;
        NumberAttributeTags(d, counter, drive_);
        ChildElementNameViews(drive_, names_, built_names_);
        if (sas)
          ReadSasDrive(drive_, device, serial);
        else
          ReadSataDrive(drive_, device, serial);
      }
    }
  }

  void ResolveDescriptionCase() { ResolveNameCase(core_.SmartDescNames, source_, low_); }
  void ForgetDescriptionNames() {
    core_.SmartDescNames.Clear();
    desc_seen_.clear();
  }

 private:
  // Each child's name stands for the first start tag of that name in the drive.
  void ReadSataDrive(std::string_view drive, const std::string& device,
                     const std::string& serial) {
    std::string channel, id, temperature;
    bool has_desc = false;
    TFirstStartTags& tags = tags_;
    tags.Reset(drive);
    TTagLines& lines = lines_;
    for (const std::string_view n : names_) {
      const std::string_view t = TrimBlankView(n);
      if (t == "physicaldrivesmartstats") {
        ReadTag(drive, tags, n);
        for (size_t i = 0; i < lines.Count(); ++i) {
          if (ReadDriveAddress(lines, i, channel, id)) continue;
          if (lines.Has(i, "isdescriptionavailable: ")) {
            const std::string_view v = lines.After(i, "isdescriptionavailable: ");
            has_desc = v == "true" || v == "1";
          }
        }
        continue;
      }
      if (!Contains(t, "attribute_")) continue;
      ReadTag(drive, tags, n);
      if (lines.Count() == 0) continue;
      std::string_view attr_id;
      for (size_t i = 0; i < lines.Count(); ++i)
        if (lines.Has(i, "id: ")) attr_id = lines.After(i, "id: ");
      if (attr_id.empty()) continue;
      TKVSATASmartParams& params = sata_params_.Params(channel, id);
      std::string_view current, worst, raw, name;
      for (size_t i = 0; i < lines.Count(); ++i) {
        if (lines.Has(i, "normalizedcurrent: "))
          current = lines.After(i, "normalizedcurrent: ");
        else if (lines.Has(i, "normalizedworst: "))
          worst = lines.After(i, "normalizedworst: ");
        else if (lines.Has(i, "rawvalue: "))
          raw = lines.After(i, "rawvalue: ");
        else if (lines.Has(i, "name: "))
          name = lines.After(i, "name: ");
      }
      if (!current.empty() && !worst.empty() && !raw.empty()) {
        const TKVSATASmartP& rec = params.Add(WithoutHexPrefix(attr_id), std::string(current),
                                              std::string(worst), std::string(raw));
        if (has_desc)
          AddDescriptionName(ToInt(id, -1), ToInt(channel, -1), rec.Id, std::string(name));
      }
      if (attr_id == "0xc2") {
        for (size_t i = 0; i < lines.Count(); ++i) {
          if (!temperature.empty() || !lines.Has(i, "rawvalue: ")) continue;
          const std::string_view v = lines.After(i, "rawvalue: ");
          if (!v.empty()) temperature = TempFromRaw(v);
        }
      }
    }
    if (!channel.empty() && !id.empty())
      core_.SATASmart.Add(device, serial, channel, id, "", temperature);
  }

  void ReadSasDrive(std::string_view drive, const std::string& device,
                    const std::string& serial) {
    std::string channel, id, health, temperature;
    TFirstStartTags& tags = tags_;
    tags.Reset(drive);
    TTagLines& lines = lines_;
    for (const std::string_view n : names_) {
      const std::string_view t = TrimBlankView(n);
      if (t == "physicaldrivesmartstats") {
        ReadTag(drive, tags, n);
        for (size_t i = 0; i < lines.Count(); ++i) ReadDriveAddress(lines, i, channel, id);
      } else if (t == "smarthealthstatus") {
        ReadTag(drive, tags, n);
        for (size_t i = 0; i < lines.Count(); ++i)
          if (lines.Has(i, "status: ")) health = lines.After(i, "status: ");
      } else if (t == "temperaturelogpage") {
        ReadTag(drive, tags, n);
        for (size_t i = 0; i < lines.Count(); ++i) {
          if (!lines.Has(i, "currenttemperaturecelcius: ")) continue;
          const std::string_view c = lines.After(i, "currenttemperaturecelcius: ");
          if (std::to_string(ToInt(c, -1)) == c) temperature = std::string(c) + " C";
        }
      } else if (Contains(t, "attribute_")) {
        ReadTag(drive, tags, n);
        std::string attr_name;
        for (size_t i = 0; i < lines.Count(); ++i)
          if (lines.Has(i, "name: ")) attr_name = lines.After(i, "name: ");
        if (attr_name.empty()) continue;
        for (size_t i = 0; i < lines.Count(); ++i) {
          if (!lines.Has(i, "value: ")) continue;
          const std::string_view v = lines.After(i, "value: ");
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

  // The lines of the first start tag named `name` (none when there is no such tag).
  void ReadTag(std::string_view drive, TFirstStartTags& tags, std::string_view name) {
    const size_t at = tags.Find(name);
    lines_.Read(at == std::string_view::npos ? std::string_view() : drive.substr(at));
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
  // Reused from drive to drive.
  std::string drive_;
  std::vector<std::string_view> names_;
  std::deque<std::string> built_names_;
  TFirstStartTags tags_;
  TTagLines lines_;
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

namespace {

// Where "\"" + name + "\"" first occurs in `low` for each of `names` (distinct), npos where it
// does not. A name without a quote can only stand between a quote and the next one, so one
// walk over the quotes finds all of them; a name with a quote in it is searched for plainly.
std::vector<size_t> FirstQuotedPlaces(const std::vector<std::string>& names, std::string_view low) {
  std::vector<size_t> at(names.size(), std::string_view::npos);
  std::unordered_map<std::string_view, size_t> pending;
  std::vector<bool> has_length;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string& n = names[i];
    if (n.find('"') != std::string::npos) {
      at[i] = low.find("\"" + n + "\"");
      continue;
    }
    pending.emplace(n, i);
    if (has_length.size() <= n.size()) has_length.resize(n.size() + 1);
    has_length[n.size()] = true;
  }
  size_t left = pending.size();
  for (size_t q = low.find('"'); left > 0 && q != std::string_view::npos;) {
    const size_t r = low.find('"', q + 1);
    if (r == std::string_view::npos) break;
    const size_t length = r - q - 1;
    if (length < has_length.size() && has_length[length]) {
      const auto it = pending.find(low.substr(q + 1, length));
      if (it != pending.end() && at[it->second] == std::string_view::npos) {
        at[it->second] = q;
        --left;
      }
    }
    q = r;
  }
  return at;
}

void ResolveNameCase(TKVSmartDescNamesList& names, std::string_view text, std::string_view low) {
  std::vector<std::string> distinct;
  std::unordered_set<std::string_view> seen;
  for (int i = 0; i < names.Count(); ++i) {
    const std::string& name = names.Item(i).Name;
    if (seen.insert(name).second) distinct.push_back(name);
  }
  const std::vector<size_t> places = FirstQuotedPlaces(distinct, low);
  for (size_t i = 0; i < distinct.size(); ++i) {
    const std::string& n = distinct[i];
    const size_t q = places[i];
    if (q == std::string_view::npos) continue;
    const std::string resolved = TrimControls(text.substr(q + 1, n.size()));
    if (resolved.empty()) continue;
    names.Rename(n, resolved);
  }
}

}  // namespace

void ResolveDescriptionNameCase(TKVSmartDescNamesList& names, const std::string& text) {
  ResolveNameCase(names, text, LowerCaseAscii(text));
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
