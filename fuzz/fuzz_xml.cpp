// The XML-to-lines routines on arbitrary text. The first input byte picks the element
// name from a short list (the names the parsers use and two awkward ones); the rest is
// the document. Checks the counts and positions the routines promise.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/text_helpers.h"
#include "parse/xml_lines.h"

namespace {
const char* const kNames[] = {"smartstats", "physicaldrivesmartstats", "attribute",
                              "controllerlog", "statistics", "a", "", "<"};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view name = kNames[data[0] % (sizeof kNames / sizeof kNames[0])];
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

  int count = 0;
  std::string numbered;
  kv::NumberElements(text, name, count, numbered);
  const std::vector<std::string_view> parts = kv::ExtractElements(numbered, name, count);
  if (parts.size() != static_cast<size_t>(count > 0 ? count : 0)) std::abort();
  for (int n = 1; n <= count && n <= 3; ++n)
    if (kv::ExtractElement(numbered, name, n) != parts[n - 1]) std::abort();

  int empty_count = 0;
  std::string expanded;
  kv::NumberSelfClosing(text, name, empty_count, expanded);
  (void)kv::ExtractElementsFromZero(expanded, name, empty_count);

  // Bringing empty elements to one spelling is done once: a second pass changes nothing.
  const std::string paired = kv::PairSelfClosing(text, name);
  const std::string closed = kv::SelfCloseEmptyPairs(text, name);
  if (name.find_first_of("</>") == std::string_view::npos &&
      (kv::PairSelfClosing(paired, name) != paired ||
       kv::SelfCloseEmptyPairs(closed, name) != closed))
    std::abort();

  std::string attrs = text;
  int counter = 0;
  kv::NumberAttributeTags(attrs, counter);
  if (counter > 101) std::abort();

  std::vector<std::string> lines;
  kv::ElementAttributesToLines(text, name, lines);
  std::vector<std::string> names;
  kv::ChildElementNames(text, names);
  for (const std::string& child : names) {
    kv::ElementAttributesToLines(text, child, lines);
    break;
  }
  (void)kv::SizeToMegabytes(text.substr(0, 64));
  const size_t pos = kv::PosFrom(name, text, size / 2);
  if (pos != 0 && text.compare(pos - 1, name.size(), name) != 0) std::abort();
  (void)kv::ReplaceAll(text, name, "<x>");
  return 0;
}
