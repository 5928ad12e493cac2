#include "health/verdict.h"

#include <unordered_map>

#include "base/text_case.h"
#include "health/status_words.h"

namespace kv {

namespace {

class TJudge {
 public:
  explicit TJudge(THealthVerdict& verdict) : verdict_(verdict) {}

  void Add(THealth level, std::string object, std::string link, std::string text) {
    if (level > verdict_.Level) verdict_.Level = level;
    verdict_.Reasons.push_back({level, std::move(object), std::move(link), std::move(text)});
  }

  // A status that is not good: `failed` for offline and failed, `other` for the rest.
  // Nothing printed is no finding; an unknown word is a warning.
  void Status(const std::string& status, THealth failed, THealth other, const std::string& object,
              const std::string& link, bool fittedMatters = true) {
    if (status.empty()) return;
    switch (ClassifyStatus(status)) {
      case TStatusClass::Good:
      case TStatusClass::Spare: return;
      case TStatusClass::NotFitted:
        if (fittedMatters) Add(other, object, link, status);
        return;
      case TStatusClass::Failed: Add(failed, object, link, status); return;
      case TStatusClass::NotOptimal:
      case TStatusClass::Missing: Add(other, object, link, status); return;
      case TStatusClass::Unknown: Add(THealth::Warning, object, link, "unknown status " + status); return;
    }
  }

 private:
  THealthVerdict& verdict_;
};

// "Global Hot-Spare : 0,25" and "Dedicated Hot-Spare : 0,3" in a device's pairs name the
// spares by channel,device, so a spare that has failed (and no longer says so) still counts.
void MarkListedSpares(const TKVResult& r, const TStringList& lines, std::vector<bool>& marks) {
  for (const std::string& line : lines) {
    const size_t colon = line.find(": ");
    if (colon == std::string::npos) continue;
    const std::string key = StatusKey(line.substr(0, colon));
    if (key.find("hot-spare") == std::string::npos && key.find("hot spare") == std::string::npos) continue;
    if (key.find("protected") != std::string::npos) continue;
    const std::string place = line.substr(colon + 2);
    for (int i = 0; i < r.HDDs.Count(); ++i)
      if (r.HDDs.Item(i).Channel + "," + r.HDDs.Item(i).DeviceId == place) marks[static_cast<size_t>(i)] = true;
  }
}

}  // namespace

std::vector<bool> DrivesKnownBySerial(const TKVResult& result) {
  std::unordered_map<std::string, int> serials;
  for (const TResultHDD& d : result.HDDs) ++serials[LowerCaseAscii(d.SerialNumber)];
  std::vector<bool> known;
  known.reserve(static_cast<size_t>(result.HDDs.Count()));
  for (const TResultHDD& d : result.HDDs)
    known.push_back(!d.SerialNumber.empty() && serials[LowerCaseAscii(d.SerialNumber)] == 1);
  return known;
}

std::string DrivePlace(const TResultHDD& d) {
  return (d.Channel.empty() ? "-" : d.Channel) + "," + (d.DeviceId.empty() ? "-" : d.DeviceId);
}

std::string DriveObject(const TResultHDD& d) {
  return "Drive " + DrivePlace(d) + (d.SerialNumber.empty() ? "" : " (S/N " + d.SerialNumber + ")");
}

std::string DriveLink(const TResultHDD& d) {
  return "hdd_" + (d.Channel.empty() ? "-" : d.Channel) + "_" + (d.DeviceId.empty() ? "-" : d.DeviceId);
}

const char* HealthWord(THealth health) {
  switch (health) {
    case THealth::OK: return "OK";
    case THealth::Warning: return "Warning";
    case THealth::Critical: return "Critical";
  }
  return "OK";
}

THealthVerdict JudgeHealth(const TKVCore& core, const std::vector<TSmartVerdict>& drives,
                           const std::string& collectionFailure) {
  THealthVerdict verdict;
  TJudge judge(verdict);
  const TKVResult& r = core.Result;
  if (!collectionFailure.empty()) judge.Add(THealth::Warning, "Collection", "#controller", collectionFailure);

  judge.Status(r.Controller.Status, THealth::Critical, THealth::Critical, "Controller", "#controller");
  const std::string& bbu = r.Controller.BBUOverallStatus.empty() ? r.Controller.BBUStatus : r.Controller.BBUOverallStatus;
  judge.Status(bbu, THealth::Critical, THealth::Warning, "Backup unit", "#controller", false);

  std::vector<bool> member_or_spare(static_cast<size_t>(r.HDDs.Count()), false);
  int n = 0;
  for (const TResultLD& ld : r.LDs) {
    const std::string object = "Logical device " + ld.Number + (ld.Name.empty() ? "" : " (" + ld.Name + ")");
    const std::string link = "#c_ld_" + std::to_string(n++);
    judge.Status(ld.Status, THealth::Critical, THealth::Warning, object, link);
    if (!ld.MissingMembers.empty())
      judge.Add(THealth::Warning, object, link, std::to_string(ld.MissingMembers.size()) + " member(s) missing");
    for (const TIntPair& m : ld.Members)
      if (m.Key >= 0 && m.Key < r.HDDs.Count()) member_or_spare[static_cast<size_t>(m.Key)] = true;
    MarkListedSpares(r, ld.Lines, member_or_spare);
  }
  n = 0;
  for (const TResultZepLD& zep : r.ZepLDs) {
    const std::string object = "zepCache device " + zep.Number + (zep.DeviceName.empty() ? "" : " (" + zep.DeviceName + ")");
    const std::string link = "#c_zepld_" + std::to_string(n++);
    judge.Status(zep.Status, THealth::Critical, THealth::Warning, object, link);
    if (!zep.MissingMembers.empty())
      judge.Add(THealth::Warning, object, link, std::to_string(zep.MissingMembers.size()) + " member(s) missing");
    for (const TIntPair& m : zep.Members)
      if (m.Key >= 0 && m.Key < r.HDDs.Count()) member_or_spare[static_cast<size_t>(m.Key)] = true;
  }

  for (int i = 0; i < r.HDDs.Count(); ++i) {
    const TResultHDD& d = r.HDDs.Item(i);
    const bool important = member_or_spare[static_cast<size_t>(i)] || ClassifyStatus(d.State) == TStatusClass::Spare;
    const THealth serious = important ? THealth::Critical : THealth::Warning;
    const std::string object = DriveObject(d);
    const std::string link = DriveLink(d);
    const TStatusClass state = ClassifyStatus(d.State);
    if (state == TStatusClass::Failed || state == TStatusClass::Missing) {
      judge.Add(serious, object, link, d.State);
    } else if (state == TStatusClass::Unknown && !d.State.empty()) {
      judge.Add(THealth::Warning, object, link, "unknown status " + d.State);
    }
    if (static_cast<size_t>(i) >= drives.size()) continue;
    const TSmartVerdict& smart = drives[static_cast<size_t>(i)];
    if (smart.Grade == TSmartGrade::Good || state == TStatusClass::Failed) continue;  // already said
    std::string why = std::string("SMART ") + SmartGradeWord(smart.Grade);
    for (size_t k = 0; k < smart.Reasons.size(); ++k) why += (k == 0 ? ": " : ", ") + smart.Reasons[k];
    judge.Add(smart.Grade == TSmartGrade::Bad ? serious : THealth::Warning, object, link, why);
  }
  return verdict;
}

void AddMonitorWarnings(THealthVerdict& verdict, const std::vector<std::string>& texts) {
  TJudge judge(verdict);
  for (const std::string& text : texts) judge.Add(THealth::Warning, "Monitor", "#health", text);
}

}  // namespace kv
