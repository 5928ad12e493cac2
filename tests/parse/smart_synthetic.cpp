#include "parse/smart_synthetic.h"

#include <cstdio>
#include <string>

namespace kv::synth {

namespace {

const char* const kSataNames[] = {
    "Raw Read Error Rate", "Spin-Up Time", "Start/Stop Count", "Reallocated Sectors Count",
    "Seek Error Rate", "Power-On Hours", "Spin Retry Count", "Power Cycle Count",
    "Program Fail Count", "Erase Fail Count", "Wear Leveling Count", "Used Reserved Block Count",
    "Unused Reserved Block Count", "Reported Uncorrectable Errors", "Command Timeout",
    "Airflow Temperature", "Power-Off Retract Count", "Load Cycle Count", "Temperature",
    "Hardware ECC Recovered", "Reallocation Event Count", "Current Pending Sector Count",
    "Offline Uncorrectable", "UDMA CRC Error Count", "Multi-Zone Error Rate",
    "Head Flying Hours", "Total LBAs Written", "Total LBAs Read"};
const int kSataIds[] = {0x01, 0x03, 0x04, 0x05, 0x07, 0x09, 0x0A, 0x0C, 0xAB, 0xAC, 0xAD, 0xB3,
                        0xB4, 0xBB, 0xBC, 0xBE, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7,
                        0xC8, 0xF0, 0xF1, 0xF2};

std::string Hex2(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "0x%02X", v);
  return b;
}

std::string DriveSerial(const TOptions& o, int k) {
  char b[24];
  std::snprintf(b, sizeof b, "%06dX%d", k * 7 + 1000, k % 10);
  return o.SerialPrefix + b;
}

// The SATA counters the health verdict reads as predicting failure; zero when healthy.
bool Predictive(int id) { return id == 0x05 || id == 0xBB || id == 0xBC || id == 0xC5 || id == 0xC6; }

// "Logical device information" with LogicalCount(drives) devices of 8 members each, the
// last one taking the rest, every segment naming its drive's place and serial.
std::string LogicalDevices(const TOptions& o, const std::string& rule) {
  const int drives = o.Sata + o.Sas;
  const int count = LogicalCount(drives);
  std::string s = "\r\n" + rule + "\r\nLogical device information\r\n" + rule + "\r\n";
  for (int l = 0; l < count; ++l) {
    const int first = l * 8, end = l + 1 == count ? drives : first + 8;
    const int members = end - first;
    s += "Logical device number " + std::to_string(l) + "\r\n";
    s += "   Logical device name                   : Data " + std::to_string(l) + "\r\n";
    s += "   RAID level                            : " +
         std::string(members >= 3 ? "5" : (members == 2 ? "1" : "0")) + "\r\n";
    s += "   Status of logical device              : Optimal\r\n";
    s += "   Size                                  : " + std::to_string(953869 * members) +
         " MB\r\n";
    s += "   --------------------------------------------------------\r\n";
    s += "   Logical device segment information\r\n";
    s += "   --------------------------------------------------------\r\n";
    for (int k = first; k < end; ++k)
      s += "   Segment " + std::to_string(k - first) +
           "                             : Present (Controller:1,Enclosure:" +
           std::to_string(ChannelOf(k)) + ",Slot:" + std::to_string(IdOf(k)) + ") " +
           DriveSerial(o, k) + "\r\n";
    s += "\r\n";
  }
  return s;
}

}  // namespace

int LogicalCount(int drives) { return drives / 8 > 0 ? drives / 8 : 1; }

int ChannelOf(int drive) { return drive / 128; }
int IdOf(int drive) { return drive % 128; }

std::string Smart(const TOptions& o) {
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
  if (o.Sas > 0) {
    s += "<SASSmartStats deviceName=\"" + o.DeviceName + "\" serialNumber=\"" +
         o.ControllerSerial + "\" >\r\n";
    for (int i = 0; i < o.Sas; ++i) {
      const int k = o.Sata + i;
      const int temp = 30 + k % 15;
      s += " <PhysicalDriveSmartStats channel=\"" + std::to_string(ChannelOf(k)) + "\" id=\"" +
           std::to_string(IdOf(k)) + "\" >\r\n";
      s += "  <SmartHealthStatus status=\"" + std::string(k % 7 == 3 && !o.Healthy ? "Failure" : "OK") +
           "\" />\r\n";
      s += "  <TemperatureLogPage currentTemperatureCelcius=\"" + std::to_string(temp) +
           "\" referenceTemperatureCelcius=\"68\" />\r\n";
      s += "  <Attribute name=\"Current Drive Temperature\" value=\"" + std::to_string(temp) +
           "\" />\r\n";
      s += "  <Attribute name=\"Elements in Grown Defect List\" value=\"" +
           std::to_string(o.Healthy ? 0 : k % 3) + "\" />\r\n";
      s += "  <Attribute name=\"Accumulated Start-Stop Cycles\" value=\"" +
           std::to_string(100 + k) + "\" />\r\n";
      s += "  <Attribute name=\"Total Uncorrected Read Errors\" value=\"0\" />\r\n";
      s += " </PhysicalDriveSmartStats>\r\n";
    }
    s += "</SASSmartStats>\r\n";
  }
  if (o.Sata > 0) {
    s += "<SmartStats deviceName=\"" + o.DeviceName + "\" serialNumber=\"" + o.ControllerSerial +
         "\" >\r\n";
    for (int k = 0; k < o.Sata; ++k) {
      const bool desc = k % 2 == 0;
      s += " <PhysicalDriveSmartStats channel=\"" + std::to_string(ChannelOf(k)) + "\" id=\"" +
           std::to_string(IdOf(k)) + "\" nonSpinning=\"false\" isDescriptionAvailable=\"" +
           (desc ? "true" : "false") + "\" >\r\n";
      const int attrs = 20 + k % 9;
      for (int a = 0; a < attrs; ++a) {
        const int id = kSataIds[a];
        const bool temp = id == 0xC2;
        const int cur = temp ? 30 + k % 20 : 100 - (k + a) % 40;
        s += "  <Attribute id=\"" + Hex2(id) + "\"";
        if (desc) s += " name=\"" + std::string(kSataNames[a]) + "\"";
        s += " normalizedCurrent=\"" + std::to_string(cur) + "\" normalizedWorst=\"" +
             std::to_string(cur - 1) + "\" thresholdValue=\"" + std::to_string(a % 3 * 10) +
             "\" rawValue=\"" +
             std::to_string(temp                          ? (int64_t{55} << 16) + cur
                            : o.Healthy && Predictive(id) ? 0
                                                          : int64_t{k} * 1000 + a) +
             "\" />\r\n";
      }
      s += " </PhysicalDriveSmartStats>\r\n";
    }
    s += "</SmartStats>\r\n";
  }
  return s;
}

std::string Stats(const TOptions& o, int logical) {
  const int drives = o.Sata + o.Sas;
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<ControllerLogs>\r\n";
  s += "<ControllerLog deviceName=\"" + o.DeviceName + "\" time=\"1765200000\" serialNumber=\"" +
       o.ControllerSerial + "\" >\r\n";
  s += " <ControllerStats statsVersion=\"3\" secondsSinceLastUpdate=\"86400\" >\r\n";
  s += " </ControllerStats>\r\n";
  for (int l = 0; l < logical; ++l) {
    const char* unit = l % 3 == 0 ? "GB" : (l % 3 == 1 ? "MB" : "KB");
    s += " <LogicalDriveStats id=\"" + std::to_string(l) + "\" numReads=\"" +
         std::to_string(1000 + l) + "\" numWrites=\"" + std::to_string(500 + l) +
         "\" ttlBlkRead" + unit + "=\"" + std::to_string(12 + l) + "\" ttlBlkWriteMB=\"" +
         std::to_string(700 + l) + "\" >\r\n";
    if (l % 4 != 3) {
      s += "  <CacheStatistics>\r\n";
      s += "   <UncachedIOs uncachedReads=\"" + std::to_string(l) + "\" uncachedWrites=\"" +
           std::to_string(2 * l) + "\" />\r\n";
      s += "   <DramCacheStats dramFullHitReads=\"11\" dramWaitHitReads=\"12\" "
           "dramHybridHitReads=\"13\" dramCacheWrites=\"14\" dramFlushWaitWrites=\"15\" "
           "dramCacheFlushes=\"16\" />\r\n";
      if (l % 2 == 0)
        s += "   <SsdCacheStats ssdHitReads=\"" + std::to_string(l % 5 == 0 ? 0 : 40 + l) +
             "\" ssdHitWrites=\"" + std::to_string(l % 5 == 0 ? 0 : 7) +
             "\" ssdPageUpdates=\"1\" ssdPageDirectAllocations=\"2\" ssdFetches=\"3\" "
             "ssdFlushes=\"4\" ssdCacheValidPages=\"5\" ssdCacheDirtyPages=\"6\" />\r\n";
      s += "  </CacheStatistics>\r\n";
    }
    s += " </LogicalDriveStats>\r\n";
  }
  s += " <OverallSsdCacheStats ssdCachePages=\"1024\" pagesOnFetchList=\"3\" "
       "pagesOnDirtyList=\"4\" pagesOnFailedList=\"0\" fetchCandidates=\"9\" "
       "candidateReplacements=\"2\" />\r\n";
  for (int k = 0; k < drives; ++k)
    s += " <PhysicalDriveStats channel=\"" + std::to_string(ChannelOf(k)) + "\" id=\"" +
         std::to_string(IdOf(k)) + "\" senseKey4Cnt=\"0\" mediumErrCnt=\"" +
         std::to_string(o.Healthy ? 0 : k % 4) + "\" parityErrCnt=\"0\" linkFailCnt=\"" + std::to_string(k % 2) +
         "\" abortedCmdCnt=\"0\" smartWarnCnt=\"0\" />\r\n";
  s += "</ControllerLog>\r\n</ControllerLogs>\r\n";
  return s;
}

std::string Config(const TOptions& o) {
  const int drives = o.Sata + o.Sas;
  const std::string rule(70, '-');
  std::string s = "Controllers found: " + std::to_string(o.ControllersFound) + "\r\n" + rule +
                  "\r\nController information\r\n" + rule + "\r\n";
  s += "   Controller Status                        : Optimal\r\n";
  s += "   Controller Model                         : " + o.DeviceName + "\r\n";
  s += "   Controller Serial Number                 : " + o.ControllerSerial + "\r\n";
  if (o.Healthy) s += LogicalDevices(o, rule);
  s += "\r\n" + rule + "\r\nPhysical Device information\r\n" + rule + "\r\n";
  for (int k = 0; k < drives; ++k) {
    const std::string ch = std::to_string(ChannelOf(k)), id = std::to_string(IdOf(k));
    s += "      Device #" + std::to_string(k) + "\r\n";
    s += "         Device is a Hard drive\r\n";
    s += "         State                              : Online\r\n";
    s += std::string("         Transfer Speed                     : ") +
         (k < o.Sata ? "SATA 6.0 Gb/s" : "SAS 12.0 Gb/s") + "\r\n";
    s += "         Reported Channel,Device(T:L)       : " + ch + "," + id + "(" + id + ":0)\r\n";
    if (o.Healthy)
      s += "         Reported Location                  : Enclosure " + ch + ", Slot " + id + "\r\n";
    s += "         Serial number                      : " + DriveSerial(o, k) + "\r\n";
    s += "         Size                               : 953869 MB\r\n";
  }
  s += "\r\nCommand completed successfully.\r\n";
  return s;
}

TOptions ControllerOf(int drives, int number, int controllers) {
  TOptions o;
  o.Sas = drives / 2;
  o.Sata = drives - o.Sas;
  o.ControllersFound = controllers;
  if (controllers > 1) {
    o.ControllerSerial += std::to_string(number);
    o.SerialPrefix = "K" + std::string(1, static_cast<char>('A' + number));
  }
  return o;
}

}  // namespace kv::synth
