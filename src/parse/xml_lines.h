#pragma once
// The XML-to-lines reader: the SMART and statistics outputs of the controller utility are
// read without an XML library. Elements of one name get a two-digit occurrence number in
// their tags so that the n-th one can be cut out, and the attributes of a start tag become
// "key: value" lines that the parsers test with plain substring searches:
//
//   <smartstats:01 devicename="Ctrl A" serialnumber="ab12">   (after NumberElements)
//   -> "devicename: Ctrl A", "serialnumber: ab12>"           (ElementAttributesToLines)
//
// The parsers lower-case the XML before calling these routines. Nothing here fails on
// malformed input: what is not found is left alone or gives an empty result. Every routine
// runs in time close to linear in its input (the repeated-rewrite loops are bounded: 100
// expanded empty elements, 101 numbered attribute tags). Positions are 1-based, 0 = none.
//
// Pure functions on byte strings; any thread.
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// Position of the first `sub` in `s` at or after `from` (1-based); 0 when `from` is not below
// the length of `s`, when `sub` is empty or when it does not occur there.
size_t PosFrom(std::string_view sub, std::string_view s, size_t from);

// `s` with every `old_text` replaced by `new_text`, left to right, without rescanning the
// inserted text. An empty `old_text` leaves `s` unchanged.
std::string ReplaceAll(std::string_view s, std::string_view old_text, std::string_view new_text);

// Decimal |n| with a leading "0" below 10: "00", "07", "12", "101".
std::string FormatIndex2(int64_t n);

// TrimBlanks as a view into `s`.
inline std::string_view TrimBlankView(std::string_view s) {
  const size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return s.substr(s.size());
  return s.substr(b, s.find_last_not_of(' ') + 1 - b);
}

// Numbers every element `name`: "<name" becomes "<name:NN", "</name" becomes "</name:NN>".
// Elements are numbered 01, 02, ... in the order their end tags appear (a nested element
// before the one that holds it). A longer tag name that starts with `name` is rewritten too
// (it then takes part in the pairing as a start tag). `count` = elements numbered.
void NumberElements(std::string_view text, std::string_view name, int& count,
                    std::string& result);

// Expands the empty elements "<name .../>" into "<name:NN  ... ></name:NN>", numbered from
// 00, at most 100 of them. The "/>" taken is the first one after the start tag, whatever
// element it belongs to. `count` = rewrite steps that searched for a tag (the number of
// expanded elements when all were found).
void NumberSelfClosing(std::string_view text, std::string_view name, int& count,
                       std::string& result);

// Empty elements are written both ways by different utility versions. These bring one
// element name to the form its reading expects; only the exact name is touched (not
// "<namex"), and a start tag is the text from "<name" to the next ">" with no "<" inside.
//
// An empty element "<name ...>" read as a start/end pair by NumberElements: every
// "<name .../>" becomes "<name ... ></name>" (the blank keeps "/" and ">" off the last value).
std::string PairSelfClosing(std::string_view text, std::string_view name);
// An element read as "<name .../>" by NumberSelfClosing: every pair with nothing but blanks,
// tabs and line breaks between "<name ...>" and "</name>" becomes "<name .../>".
std::string SelfCloseEmptyPairs(std::string_view text, std::string_view name);

// While `counter` is below 101: the first "<attribute " becomes "<attribute_NN " with
// NN = FormatIndex2(++counter).
void NumberAttributeTags(std::string& text, int& counter);
// The same from `text` into `result`.
void NumberAttributeTags(std::string_view text, int& counter, std::string& result);

// The whole element numbered `n` (start tag through its end tag), or empty.
std::string ExtractElement(std::string_view text, std::string_view name, int64_t n);

// ExtractElement(text, name, n) for n = 1..count in one pass over `text`; the views point
// into `text`.
std::vector<std::string_view> ExtractElements(std::string_view text, std::string_view name,
                                              int count);
// The same for n = 0..count-1 (the numbering of NumberSelfClosing).
std::vector<std::string_view> ExtractElementsFromZero(std::string_view text,
                                                      std::string_view name, int count);

// Clears `lines` and fills it with "key: value" for every attribute of the first start tag
// "<" + name in `element`. Blanks inside quoted values survive (for up to 21 values); quotes
// are dropped; the ">" closing the tag stays on the last value when no blank precedes it.
void ElementAttributesToLines(std::string_view element, std::string_view name,
                              std::vector<std::string>& lines);

// The lines ElementAttributesToLines gives for the start tag at the front of `text` (up to
// its first ">"; none without one), each kept in its two parts: the line is
// key + ": " + value. The views point into `buffer`, which is overwritten.
struct TAttributeLine {
  std::string_view Key, Value;
};
void StartTagLines(std::string_view text, std::string& buffer, std::vector<TAttributeLine>& lines);

// Clears `names` and fills it with the names of the start tags in `text` that carry
// attributes, in document order: "<physicaldrivesmartstats:01 channel=..>" gives
// "physicaldrivesmartstats", "<attribute_03 id=..>" gives "attribute_03 " (trailing blank
// kept, so that it selects exactly that tag when handed back as a name).
void ChildElementNames(std::string_view text, std::vector<std::string>& names);

// ChildElementNames without a string per name: the views point into `text`, or into
// `built` for a name that is not one piece of it (a "<" to drop inside it).
void ChildElementNameViews(std::string_view text, std::vector<std::string_view>& names,
                           std::deque<std::string>& built);

}  // namespace kv
