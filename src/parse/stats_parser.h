#pragma once
// The statistics parsers: ParseLogStats (controller-log statistics into TKVCore::Stats)
// and ParseCacheStats (cache statistics into TKVCore::StatsCache)
// read the same XML dump of the controller log, lower-cased:
//
//   <ControllerLog deviceName="Ctrl A" time="1765200000" serialNumber="7A1B2C3D">
//    <ControllerStats statsVersion="3" secondsSinceLastUpdate="86400" />
//    <LogicalDriveStats id="0" numReads="10" numWrites="5" ttlBlkReadGB="12" ttlBlkWriteMB="700" >
//     <CacheStatistics>
//      <UncachedIOs uncachedReads="1" uncachedWrites="2" />
//      <DramCacheStats dramFullHitReads="3" ... />
//      <SsdCacheStats ssdHitReads="0" ssdHitWrites="0" ... />
//     </CacheStatistics>
//    </LogicalDriveStats>
//    <OverallSsdCacheStats ssdCachePages="1024" ... />
//    <PhysicalDriveStats channel="0" id="4" senseKey4Cnt="0" mediumErrCnt="0" ... />
//   </ControllerLog>
//
// Both entry points clear their container first and swallow every exception, keeping what
// was read before it.
#include <string>

namespace kv {

class TKVCore;

// Controller-log statistics XML into core.Stats (cleared first).
void ParseLogStats(const std::string& text, TKVCore& core);
// Cache statistics XML into core.StatsCache (cleared first).
void ParseCacheStats(const std::string& text, TKVCore& core);

}  // namespace kv
