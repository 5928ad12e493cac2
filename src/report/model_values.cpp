#include "report/model_values.h"

#include <charconv>
#include <cmath>

#include "base/text_case.h"
#include "model/smart_names.h"

namespace kv {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of "-?d+(.d+)?" at the start of s, 0 when there is none.
size_t NumberLength(std::string_view s) {
  size_t i = 0;
  if (i < s.size() && s[i] == '-') ++i;
  const size_t digits = i;
  while (i < s.size() && IsDigit(s[i])) ++i;
  if (i == digits) return 0;
  if (i + 1 < s.size() && s[i] == '.' && IsDigit(s[i + 1])) {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i;
  }
  return i;
}

std::optional<double> Parse(std::string_view s) {
  double value = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

std::optional<double> UnitFactor(std::string_view unit) {
  const std::string u = LowerCaseAscii(Trim(unit));
  if (u.empty() || u == "b" || u == "byte" || u == "bytes") return 1.0;
  const char* const prefixes = "kmgtp";
  double factor = 1;
  for (const char* p = prefixes; *p != '\0'; ++p) {
    factor *= 1024;
    if (u == std::string(1, *p) + "b") return factor;
  }
  return std::nullopt;
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
  return LowerCaseAscii(text).find(word) != std::string::npos;
}

}  // namespace

std::optional<double> LeadingNumber(std::string_view text) {
  text = Trim(text);
  const size_t n = NumberLength(text);
  if (n == 0) return std::nullopt;
  return Parse(text.substr(0, n));
}

std::optional<double> WholeNumber(std::string_view text) {
  text = Trim(text);
  const size_t n = NumberLength(text);
  if (n == 0 || n != text.size() || text.front() == '-') return std::nullopt;
  return Parse(text);
}

std::optional<double> SizeBytes(std::string_view text) {
  text = Trim(text);
  const size_t n = NumberLength(text);
  if (n == 0 || text.front() == '-') return std::nullopt;
  const std::string_view unit = Trim(text.substr(n));
  if (unit.empty()) return std::nullopt;
  const auto factor = UnitFactor(unit);
  const auto value = Parse(text.substr(0, n));
  if (!factor || !value) return std::nullopt;
  return *value * *factor;
}

std::optional<double> CounterBytes(std::string_view count, std::string_view unit) {
  const auto value = WholeNumber(count);
  const auto factor = UnitFactor(unit);
  if (!value || !factor) return std::nullopt;
  return *value * *factor;
}

void AppendNumber(std::string& out, double value) {
  char buf[64];
  const bool whole = value == std::floor(value) && std::fabs(value) < 9007199254740992.0;
  const char* end = whole ? std::to_chars(buf, buf + sizeof buf, static_cast<long long>(value)).ptr
                          : std::to_chars(buf, buf + sizeof buf, value).ptr;
  out.append(buf, static_cast<size_t>(end - buf));
}

std::string FormatNumber(double value) {
  std::string out;
  AppendNumber(out, value);
  return out;
}

bool StatusOk(std::string_view status) {
  const std::string s = LowerCaseAscii(Trim(status));
  return s == "optimal" || s == "ok";
}

bool DriveFailed(std::string_view state) {
  for (const char* word : {"failed", "defunct", "missing", "offline"})
    if (ContainsNoCase(state, word)) return true;
  return false;
}

std::string LineValue(const TStringList& lines, std::string_view key) {
  for (const std::string& line : lines) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    if (SameTextAscii(Trim(std::string_view(line).substr(0, colon)), key))
      return std::string(Trim(std::string_view(line).substr(colon + 1)));
  }
  return std::string();
}

std::string ControllerFirmware(const TResultController& controller) {
  return LineValue(controller.VersionLines, "Firmware");
}

std::string DriveTemperatureText(const TResultHDD& drive) {
  if (!Trim(drive.SmartTemperature).empty()) return drive.SmartTemperature;
  return LineValue(drive.Lines, "Temperature");
}

namespace {

template <class TList, class TParams>
void IndexTables(const TList& list, std::map<std::pair<std::string_view, std::string_view>, const TParams*>& index) {
  for (int i = 0; i < list.Count(); ++i)
    index.try_emplace({list.Item(i).Channel, list.Item(i).Id}, list.Item(i).Params.get());
}

template <class TParams>
const TParams* Find(const std::map<std::pair<std::string_view, std::string_view>, const TParams*>& index,
                    const TResultHDD& drive) {
  const auto it = index.find({drive.Channel, drive.DeviceId});
  return it == index.end() ? nullptr : it->second;
}

}  // namespace

TSmartTables::TSmartTables(const TKVCore& core) {
  IndexTables(core.SATASmartParams, sata_);
  IndexTables(core.SASSmartParams, sas_);
}

const TKVSATASmartParams* TSmartTables::Sata(const TResultHDD& drive) const { return Find(sata_, drive); }
const TKVSASSmartParams* TSmartTables::Sas(const TResultHDD& drive) const { return Find(sas_, drive); }

const TKVStatsPhysP* DriveStatsOf(const TKVCore& core, const TResultHDD& drive) {
  const int i = core.Stats.PhysStats.IndexOf(drive.DeviceId, drive.Channel);
  return i < 0 ? nullptr : &core.Stats.PhysStats.Item(i);
}

const TKVStatsLDP* LogicalDeviceStatsOf(const TKVCore& core, const std::string& number) {
  const auto n = WholeNumber(number);
  if (!n || *n > 2147483647.0 || *n != static_cast<double>(static_cast<int32_t>(*n))) return nullptr;
  const int i = core.Stats.LDStats.IndexOf(static_cast<int32_t>(*n));
  return i < 0 ? nullptr : &core.Stats.LDStats.Item(i);
}

TSataAttributeNames::TSataAttributeNames(const TKVCore& core, const TResultHDD& drive, const TKVSmartNamesList& names)
    : core_(core), names_(names) {
  const auto channel = WholeNumber(drive.Channel);
  const auto id = WholeNumber(drive.DeviceId);
  own_ = channel && id && *channel < 2147483647.0 && *id < 2147483647.0;
  if (!own_) return;
  channel_ = static_cast<int32_t>(*channel);
  id_ = static_cast<int32_t>(*id);
}

std::string TSataAttributeNames::Of(int32_t attributeId) const {
  if (own_) {
    std::string own = core_.SmartDescNames.Find(id_, channel_, attributeId);
    if (!own.empty()) return own;
  }
  return names_.NameOf(attributeId);
}

std::string SataAttributeName(const TKVCore& core, const TResultHDD& drive, int32_t attributeId,
                              const TKVSmartNamesList& names) {
  return TSataAttributeNames(core, drive, names).Of(attributeId);
}

std::array<DriveErrorCount, 6> DriveErrorCounts(const TKVStatsPhysP& stats) {
  return {{{"sense_key_4", &stats.SenseKey4Count},
           {"medium", &stats.MediumErrorCount},
           {"parity", &stats.ParityErrorCount},
           {"link_failure", &stats.LinkFailCount},
           {"aborted_command", &stats.AbortedCommandCount},
           {"smart_warning", &stats.SmartWarningCount}}};
}

}  // namespace kv
