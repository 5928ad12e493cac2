#include "health/smart_verdict.h"

#include <string_view>
#include <unordered_map>

#include "health/status_words.h"

namespace kv {

namespace {

// SATA attributes whose raw value above 0 predicts failure: reallocated sectors (5),
// uncorrectable errors (187), command timeouts (188), pending (197) and offline
// uncorrectable (198) sectors.
constexpr int32_t kPredictiveAttributes[] = {5, 187, 188, 197, 198};

// The leading whole number of a counter or temperature text ("36 C/ 96 F" -> 36,
// "0x1F" -> 31); -1 when there is none. Saturates instead of overflowing.
int64_t LeadingCount(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  int64_t value = -1;
  for (char c : text) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) break;
    value = value < 0 ? digit : (value > (INT64_MAX - digit) / base ? INT64_MAX : value * base + digit);
  }
  return value;
}

std::string Key(const std::string& channel, const std::string& id) { return channel + ',' + id; }

template <class TList>
std::unordered_map<std::string, int> IndexByPlace(const TList& list) {
  std::unordered_map<std::string, int> index;
  for (int i = 0; i < list.Count(); ++i) index.emplace(Key(list.Item(i).Channel, list.Item(i).Id), i);
  return index;  // first one wins
}

void Raise(TSmartVerdict& v, TSmartGrade grade, std::string reason) {
  if (grade > v.Grade) v.Grade = grade;
  v.Reasons.push_back(std::move(reason));
}

std::string DriveTemperature(const TResultHDD& d) {
  if (!d.SmartTemperature.empty()) return d.SmartTemperature;
  for (const std::string& line : d.Lines)
    if (line.rfind("Temperature: ", 0) == 0) return line.substr(13);
  return std::string();
}

}  // namespace

const char* SmartGradeWord(TSmartGrade grade) {
  switch (grade) {
    case TSmartGrade::Good: return "Good";
    case TSmartGrade::Caution: return "Caution";
    case TSmartGrade::Bad: return "Bad";
  }
  return "Good";
}

std::vector<TSmartVerdict> JudgeDrives(const TKVCore& core, int temperatureMax) {
  const auto sata = IndexByPlace(core.SATASmartParams);
  const auto sas = IndexByPlace(core.SASSmartParams);
  const auto stats = IndexByPlace(core.Stats.PhysStats);
  std::vector<TSmartVerdict> verdicts;
  verdicts.reserve(static_cast<size_t>(core.Result.HDDs.Count()));
  for (const TResultHDD& d : core.Result.HDDs) {
    TSmartVerdict v;
    if (ClassifyStatus(d.State) == TStatusClass::Failed) Raise(v, TSmartGrade::Bad, "state " + d.State);
    const std::string place = Key(d.Channel, d.DeviceId);
    if (!d.SmartHealth.empty() && sas.count(place) != 0 && ClassifyStatus(d.SmartHealth) != TStatusClass::Good)
      Raise(v, TSmartGrade::Bad, "SMART health " + d.SmartHealth);
    if (const auto it = sata.find(place); it != sata.end()) {
      for (const TKVSATASmartP& a : core.SATASmartParams.Item(it->second).Params->Attributes) {
        bool predictive = false;
        for (int32_t id : kPredictiveAttributes) predictive = predictive || a.Id == id;
        if (!predictive || LeadingCount(a.Raw) <= 0) continue;
        Raise(v, TSmartGrade::Caution, "attribute " + std::to_string(a.Id) + " raw " + a.Raw);
        v.Attributes.push_back(a.Id);
      }
    }
    if (const auto it = stats.find(place); it != stats.end()) {
      const TKVStatsPhysP& s = core.Stats.PhysStats.Item(it->second);
      if (LeadingCount(s.MediumErrorCount) > 0) Raise(v, TSmartGrade::Caution, "medium errors " + s.MediumErrorCount);
      if (LeadingCount(s.SmartWarningCount) > 0)
        Raise(v, TSmartGrade::Caution, "SMART warnings " + s.SmartWarningCount);
    }
    const std::string temperature = DriveTemperature(d);
    if (const int64_t t = LeadingCount(temperature); t > temperatureMax)
      Raise(v, TSmartGrade::Caution,
            "temperature " + std::to_string(t) + " C above " + std::to_string(temperatureMax) + " C");
    verdicts.push_back(std::move(v));
  }
  return verdicts;
}

}  // namespace kv
