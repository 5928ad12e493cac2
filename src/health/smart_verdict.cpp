#include "health/smart_verdict.h"

#include "health/drive_tables.h"
#include "health/status_words.h"

namespace kv {

namespace {

// SATA attributes whose raw value above 0 predicts failure: reallocated sectors (5),
// uncorrectable errors (187), command timeouts (188), pending (197) and offline
// uncorrectable (198) sectors.
constexpr int32_t kPredictiveAttributes[] = {5, 187, 188, 197, 198};

void Raise(TSmartVerdict& v, TSmartGrade grade, std::string reason) {
  if (grade > v.Grade) v.Grade = grade;
  v.Reasons.push_back(std::move(reason));
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
  const TDriveTables tables(core);
  std::vector<TSmartVerdict> verdicts;
  verdicts.reserve(static_cast<size_t>(core.Result.HDDs.Count()));
  for (const TResultHDD& d : core.Result.HDDs) {
    TSmartVerdict v;
    if (ClassifyStatus(d.State) == TStatusClass::Failed) Raise(v, TSmartGrade::Bad, "state " + d.State);
    if (!d.SmartHealth.empty() && tables.Sas(d) != nullptr && ClassifyStatus(d.SmartHealth) != TStatusClass::Good)
      Raise(v, TSmartGrade::Bad, "SMART health " + d.SmartHealth);
    if (const TKVSATASmartParams* sata = tables.Sata(d); sata != nullptr) {
      for (const TKVSATASmartP& a : sata->Attributes) {
        bool predictive = false;
        for (int32_t id : kPredictiveAttributes) predictive = predictive || a.Id == id;
        if (!predictive || LeadingCount(a.Raw) <= 0) continue;
        Raise(v, TSmartGrade::Caution, "attribute " + std::to_string(a.Id) + " raw " + a.Raw);
        v.Attributes.push_back(a.Id);
      }
    }
    if (const TKVStatsPhysP* stats = tables.Stats(d); stats != nullptr) {
      const TKVStatsPhysP& s = *stats;
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
