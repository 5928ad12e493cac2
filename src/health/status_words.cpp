#include "health/status_words.h"

#include "base/text_case.h"

namespace kv {

namespace {

struct TStatusEntry {
  std::string_view key;
  TStatusClass cls;
};

// Every word seen in captured listings of each generation, and the words of the vendor's
// documentation for the states in between.
constexpr TStatusEntry kStatusWords[] = {
    // good
    {"optimal", TStatusClass::Good},
    {"okay", TStatusClass::Good},
    {"ok", TStatusClass::Good},
    {"ready", TStatusClass::Good},
    {"online", TStatusClass::Good},  // also "Online (JBOD)"
    {"raw", TStatusClass::Good},     // "Raw (Pass Through)"
    {"present", TStatusClass::Good},
    {"zmm optimal", TStatusClass::Good},
    {"charging", TStatusClass::Good},
    {"clean", TStatusClass::Good},
    // spares
    {"hot spare", TStatusClass::Spare},
    {"hot-spare", TStatusClass::Spare},
    {"global hot-spare", TStatusClass::Spare},
    {"global hot spare", TStatusClass::Spare},
    {"dedicated hot-spare", TStatusClass::Spare},
    {"dedicated hot spare", TStatusClass::Spare},
    {"dedicated spare", TStatusClass::Spare},
    {"global spare", TStatusClass::Spare},
    // nothing fitted
    {"not installed", TStatusClass::NotFitted},
    {"zmm not installed", TStatusClass::NotFitted},
    {"not present", TStatusClass::NotFitted},
    // working, but not at full strength
    {"degraded", TStatusClass::NotOptimal},
    {"impacted", TStatusClass::NotOptimal},
    {"rebuilding", TStatusClass::NotOptimal},
    {"rebuild", TStatusClass::NotOptimal},
    {"inconsistent", TStatusClass::NotOptimal},
    {"building", TStatusClass::NotOptimal},
    {"verifying", TStatusClass::NotOptimal},
    {"suboptimal", TStatusClass::NotOptimal},
    {"critical", TStatusClass::NotOptimal},
    {"not ready", TStatusClass::NotOptimal},
    {"zmm not ready", TStatusClass::NotOptimal},
    {"learning", TStatusClass::NotOptimal},
    {"low", TStatusClass::NotOptimal},
    // gone
    {"missing", TStatusClass::Missing},
    // failed
    {"failed", TStatusClass::Failed},
    {"defunct", TStatusClass::Failed},
    {"offline", TStatusClass::Failed},
    {"fatal", TStatusClass::Failed},
    {"dead", TStatusClass::Failed},
    {"zmm failed", TStatusClass::Failed},
};

}  // namespace

std::string StatusKey(std::string_view text) {
  text = text.substr(0, text.find('('));
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return LowerCaseAscii(text);
}

TStatusClass ClassifyStatus(std::string_view text) {
  const std::string key = StatusKey(text);
  for (const TStatusEntry& entry : kStatusWords)
    if (key == entry.key) return entry.cls;
  return TStatusClass::Unknown;
}

}  // namespace kv
