#pragma once
// Hostile configuration listings shared by the robustness tests and the benchmark:
// repeated device blocks, very long lines and random bytes, each of a requested size.
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

namespace kv {

// Drive, logical device and enclosure blocks repeated with rising numbers until `bytes`.
inline std::string RepeatedBlocksListing(size_t bytes) {
  std::string text = "Controller information\n   Controller Serial Number : KV1\n";
  for (int n = 0; text.size() < bytes; ++n) {
    const std::string k = std::to_string(n);
    text += "Logical device information\nLogical device number " + k +
            "\n   Logical device name : LD " + k +
            "\n   Logical device segment information\n   Segment 0 : Present (0," + k + ") S" +
            k + "\nPhysical Device information\n      Device #" + k +
            "\n         Device is a Hard drive\n         Reported Channel,Device : 0," + k +
            "\n         Reported Location : Enclosure " + k + ", Slot 1\n"
            "         Serial number : S" + k + "\n      Device #e" + k +
            "\n      Device #" + std::to_string(n + 50000000) +
            "\n         Device is an Enclosure services device\n"
            "         Enclosure ID : " + k + "\n";
  }
  return text;
}

// Lines of `line_bytes` each that look like keys, values, headings and numbers.
inline std::string LongLinesListing(size_t line_bytes) {
  const std::string fill(line_bytes, 'x');
  const std::string blanks(line_bytes, ' ');
  std::string colons;
  while (colons.size() < line_bytes) colons += ": ";
  return "Controller information\n" + fill + " : " + fill + "\n" + colons + "\n" + blanks +
         "Connector information" + blanks + "\n" + "Controller information\n   Temperature : " +
         fill + "\n" + "Logical device information\nLogical device number " +
         std::string(line_bytes, '9') + "\nLogical device number 1\n   Logical device name : " +
         fill + "\n   Logical device segment information\n   Segment 0 : Present (" + fill + ") " +
         fill + "\nPhysical Device information\n      Device #" + std::string(line_bytes, '7') +
         "\n      Device #2\n         Device is a Hard drive\n         Reported Channel,Device : " +
         colons + "\n         Reported Location : Enclosure " + blanks + ", Slot " + fill +
         "\n         Serial number : " + fill + "\n";
}

// Random bytes, biased towards the separators and words the parser reacts to.
inline std::string RandomListing(size_t bytes, uint32_t seed) {
  static const char* const kWords[] = {
      "Controller information\n", "Logical device information\n", "Physical Device information\n",
      "zepCache information\n", "Logical device number ", "zepCache device number ", "Device #",
      "Device is a Hard drive\n", "Device is an Enclosure\n", "Status of\n", ": ", ", ", "(",
      ")", " ", "\n", "\r", "\r\n", "Reported Channel,", "Reported Location : Enclosure ",
      "Slot ", "Enclosure ID : ", "Serial number : ", "Segment information\n", "present ",
      "Logical drive ", "Array Physical Device Information\n", "Missing", "Connector:", "Device:",
      "Enclosure:", "Slot:", "Drive(s) (Channel,Device) : ", "Controller ZMM Information\n",
      "Reported ESD : ", "Reported Enclosure,Slot : ", "Unknown Heading\n",
      "0", "1", "-", "\x95", "\xff",
  };
  std::mt19937 rng(seed);
  std::string text;
  text.reserve(bytes + 64);
  while (text.size() < bytes) {
    if (rng() % 3 == 0)
      text += static_cast<char>(rng() & 0xff);
    else
      text += kWords[rng() % std::size(kWords)];
  }
  return text;
}

}  // namespace kv
