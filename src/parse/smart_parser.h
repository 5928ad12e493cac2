#pragma once
// The SMART parsers: ParseSmart reads the controller utility's SMART XML (SAS
// drives under "sassmartstats", SATA drives under "smartstats") into the per-drive records
// and attribute tables of the model (model/smart.h). A SATA drive looks like:
//
//   <SmartStats deviceName="Ctrl A" serialNumber="7A1B2C3D">
//    <PhysicalDriveSmartStats channel="0" id="4" isDescriptionAvailable="true" >
//     <Attribute id="0xC2" name="Temperature" normalizedCurrent="45" normalizedWorst="55"
//                rawValue="45" />
//
// and a SAS drive carries <SmartHealthStatus status="OK" />, <TemperatureLogPage
// currentTemperatureCelcius="35" /> and <Attribute name="..." value="..." /> elements.
// Everything is read from the lower-cased text; SAS attribute names and SATA description
// names get the letter case of the file back.
//
// Pure functions; the model is single-threaded.
#include <string>
#include <string_view>

namespace kv {

class TKVCore;
class TKVSmartDescNamesList;

// SMART XML, SAS first then SATA, into the SMART lists of `core`; swallows every exception.
void ParseSmart(const std::string& text, TKVCore& core);

// The temperature text of a raw SMART value: its low byte in decimal + " C" ("45" ->
// "45 C"); empty when the value is not an integer, is 4294967295 or its low byte is 0.
std::string TempFromRaw(std::string_view raw);

// The text of `source` at the first place where `name` occurs in the lower-cased source
// (the same text in the letter case of the file); `name` itself when it does not occur.
std::string CaseOf(std::string_view name, std::string_view source);

// Restores the letter case of the description names (read from lower-cased XML) from
// `text`, the XML as read: each distinct name takes the text that stands between double
// quotes at the first place where "\"" + name + "\"" occurs case-insensitively, trimmed of
// blanks and control characters. A name that is not found keeps its form.
void ResolveDescriptionNameCase(TKVSmartDescNamesList& names, const std::string& text);

}  // namespace kv
