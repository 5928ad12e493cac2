#pragma once
// What the generations of the controller utility print differently for the same thing.
//
// The configuration parser and the drive matcher ask here instead of holding literals:
// the headings of the listing's blocks, the sub-headings that open the backup unit or the
// member rows of a device, the row that lists members by channel, and the shapes of a
// member row and of a drive's location. Every table names the generation it came from.
// Pure functions over single-byte text, any thread.
#include <string>
#include <string_view>

namespace kv {

// ---- headings --------------------------------------------------------------------------

// The line lower-cased, with "logical drive" read as "logical device": the oldest
// firmware says "Logical drive information", "Logical drive number 1", "Status of
// logical drive", where later ones say "device".
std::string DialectLower(std::string_view line);

// The top-level blocks of the listing.
enum class TListingBlock { None, Controller, LogicalDevice, PhysicalDevice, ZepCache, Skipped };

// The block that the line `low` (DialectLower) opens; None when it is no block heading.
// "Skipped" blocks are known and carry nothing we show (arrays, connectors, lanes).
TListingBlock BlockOfHeading(const std::string& low);

// True for the lines that may stand at column 0 without being a heading: the numbered
// lines inside blocks ("Logical Device number 0", "Array Number 1", "Connector #2") and the
// utility's closing line.
bool IsBlockLine(const std::string& low);

// True for a line that looks like a heading: some text, no colon, not a ruler of dashes.
bool LooksLikeHeading(std::string_view line);

// Number of leading blanks.
size_t Indentation(std::string_view line);

// Sub-headings inside the controller block.
bool IsVersionHeading(const std::string& low);
// "Controller Battery Information" (old), "Controller ZMM Information" (flash module),
// "Controller Cache Backup Unit Information" (supercap, utility 2.x).
bool IsBackupUnitHeading(const std::string& low);

// The sub-heading after which a logical or zepCache device lists its members:
// "Logical device segment information" or, on utility 3.x, "Array Physical Device
// Information".
bool IsMemberHeading(const std::string& low);

// True for the key of a member row, which ends in its number: "Segment 0", "Device 8",
// "Group 1, Segment 0". The legend row of utility 3.x ("Device ID : Availability (SizeMB,
// ...) Serial Number") is no member.
bool IsMemberRowKey(std::string_view key);

// The old firmware's member list inside the device's own pairs:
//   Drive(s) (Channel,Device)           : 0,0 0,1
bool IsChannelListKey(const std::string& lowKey);

// ---- member rows -----------------------------------------------------------------------

// One member row of a logical or zepCache device, in any of its shapes:
//   Present (Controller:1,Enclosure:0,Slot:3) WD-WX31A1234567
//   Rebuilding (Controller:1,Connector:0,Device:3) Z1P34JK6
//   Present (228936MB, SATA, SSD, Connector:0, Device:0) BTYF127108H9240AGN
//   Present (2861588MB, SATA, HDD, Channel:0, Device:10) WD-WCC4N0RUUPKF
//   Inconsistent (0,5)
//   Missing
// Numbers are kept in canonical decimal form ("07" reads as "7"); other values lower-cased.
struct TMemberRow {
  std::string State;  // the words before "(", lower-cased: "present", "missing", ...
  std::string Enclosure, Slot;        // "Enclosure:E" and "Slot:S"
  std::string Connector, Device;      // "Connector:C" or "Channel:C", and "Device:D"
  std::string BareChannel, BareDevice;  // an unlabelled "(a,b)"
  std::string Serial;                 // lower-cased text after ") ", empty when none

  bool IsMissing() const { return State.rfind("missing", 0) == 0; }
  bool NamesPlace() const {
    return (!Enclosure.empty() && !Slot.empty()) || (!Connector.empty() && !Device.empty()) ||
           !BareChannel.empty();
  }
};

TMemberRow ParseMemberRow(std::string_view value);

// ---- drive locations -------------------------------------------------------------------

// Where a drive says it sits, from any of:
//   Reported Location       : Enclosure 0, Slot 3
//   Reported Location       : Enclosure 0, Slot 3(Connector 0)
//   Reported Location       : Enclosure 0, Slot 0( Connector Unknown )
//   Reported Location       : Enclosure Direct Attached, Slot 4(Connector 1:CN1)
//   Reported Location       : Connector 1, Device 0
//   Reported Enclosure,Slot : 0,3
// "Enclosure Direct Attached" names no enclosure: only a numbered enclosure counts.
struct TDriveLocation {
  std::string Enclosure, Slot;     // a numbered enclosure and its slot
  std::string Connector, Device;   // "Connector C, Device D"
  std::string SlotConnector;       // "Slot S(Connector C...)": the connector of the slot
  std::string AnySlot;             // the slot number, enclosure or not
};

TDriveLocation ParseReportedLocation(std::string_view value);
TDriveLocation ParseEnclosureSlotPair(std::string_view value);

// The leading decimal number of `s` after blanks, in canonical form; empty when none.
std::string LeadingNumber(std::string_view s);

}  // namespace kv
