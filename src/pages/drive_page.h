#pragma once
// Drive pages: one page body per physical drive (identity, membership, error counters and
// the SATA or SAS SMART table with a fixed-width text copy), rendered once per collection
// cycle from the cycle's model.
//
// The key is channel + "_" + id ("0_3") or the drive's serial number, in any letter case.
// A key that matches no drive ("-1_-1") gives the empty frame and an empty alternative key.
// Runs on the collecting thread.
#include <string>

namespace kv {

class TKVCore;

struct TDrivePage {
  std::string AlternativeKey;  // the drive's serial number, lower-cased
  std::string Body;
};

TDrivePage RenderHddPage(TKVCore& core, const std::string& key);

}  // namespace kv
