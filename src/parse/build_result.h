#pragma once
// BuildResult: interprets the raw lists that ParseConfig filled into core.Result, the
// records the report and the pages read: the controller with its backup unit and
// versions, enclosures, logical and zepCache devices, and drives with their channel,
// enclosure slot and device memberships (through the drive matcher, drive_matcher.h).
//
// Runs after every parser of the cycle (the SMART records give the drives their health and
// temperature). Single-threaded, like the model.
namespace kv {

class TKVCore;

// Clears core.Result and builds it again; may run again on the same object.
void BuildResult(TKVCore& core);

}  // namespace kv
