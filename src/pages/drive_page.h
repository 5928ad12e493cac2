#pragma once
// Drive pages: one page body per physical drive (identity, membership, error counters and
// the SATA or SAS SMART table with a fixed-width text copy), rendered once per collection
// cycle from the cycle's model.
//
// The key is channel + "_" + id ("0_3") or the drive's serial number, in any letter case.
// A key that matches no drive ("-1_-1") gives the empty frame and an empty alternative key.
// A drive without SMART data shows, where its table would be, one line saying why: no
// SMART source is configured, or the last collection brought nothing for this drive.
// With History sections handed in, a drive that has one shows it after the SMART table.
// Runs on the collecting thread.
#include <memory>
#include <string>
#include <vector>

#include "health/smart_verdict.h"
#include "pages/history_section.h"

namespace kv {

class TKVCore;
class TMFileList;

struct TDrivePage {
  std::string AlternativeKey;  // the drive's serial number, lower-cased
  std::string Body;
};

// Whether [source] smart is set, which decides the line shown for a drive without SMART data.
enum class SmartSource { kNotSet, kSet };

inline constexpr char kNoSmartSourceLine[] =
    "No SMART data is collected. Set [source] smart in config_http.txt to collect it.";
inline constexpr char kNoSmartForDriveLine[] = "No SMART data for this drive in the last collection.";

// `files` holds the templates. With `verdicts` (one per drive of the model) the page opens with the drive's SMART
// verdict and marks the rows of the SATA attributes that caused it. The page links back to
// its controller's main page: "/" for controller 1, "/cN/" for controller N.
TDrivePage RenderHddPage(TKVCore& core, const std::string& key, const TMFileList& files,
                         SmartSource smart = SmartSource::kSet, const std::vector<TSmartVerdict>* verdicts = nullptr,
                         int controller = 1);

class DrivePageRenderer;

// The same for many keys of one model, each template fetched once for all of them: the
// cycle renders every drive's page with one renderer. The model, the files and the
// verdicts must outlive it.
class THddPageRenderer {
 public:
  THddPageRenderer(TKVCore& core, const TMFileList& files, SmartSource smart = SmartSource::kSet,
                   const std::vector<TSmartVerdict>* verdicts = nullptr, int controller = 1);
  ~THddPageRenderer();
  THddPageRenderer(const THddPageRenderer&) = delete;
  THddPageRenderer& operator=(const THddPageRenderer&) = delete;

  TDrivePage Render(const std::string& key);
  // The History sections by drive key (DriveHistoryKeys), shown after the SMART table; null,
  // or no entry for a drive, shows none. They must outlive the renderer or the next call.
  void SetHistorySections(const THistorySections* sections);

 private:
  std::unique_ptr<DrivePageRenderer> impl_;
};

}  // namespace kv
