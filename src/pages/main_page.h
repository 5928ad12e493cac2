#pragma once
// The main page: the whole controller on one HTML page, rendered once per collection cycle
// from the cycle's model and its state report:
//
//   header, controller block (statistics columns, backup unit, versions), one collapsible
//   block per logical device and zepCache device, enclosures, drive tables, footer.
//
// Most values are read back from the state report (the contract between model and pages);
// tasks, traffic and cache counters and the drives behind every table row come from the
// model. Runs on the collecting thread; the model must be complete (BuildResult done).
#include <cstddef>
#include <cstdint>
#include <string>

namespace kv {

class TKVCore;
class TMemIniFile;
class TMFileList;
struct THealthView;

// The page text for `core`; `version` and `now` (local Unix seconds, the time of the
// cycle) go into the footer. `report` is the state report the cycle wrote from the same
// model; `files` holds the templates. With `health` the page opens with the verdict strip
// (and the stale-data warning), the title starts with a verdict that is not OK, drive rows
// carry a SMART verdict that is not Good, and the recent changes close the page.
std::string RenderMainPage(TKVCore& core, const std::string& version, const TMemIniFile& report,
                           const TMFileList& files, const THealthView* health, int64_t now);
// The same, writing the state report itself.
std::string RenderMainPage(TKVCore& core, const std::string& version, const TMFileList& files,
                           const THealthView* health, int64_t now);

// Where the controller bar goes in a page RenderMainPage made: the start of the body's
// content, ahead of the verdict strip. The bar is put in when the page is served, so it
// shows every controller's latest verdict without the page being made again.
std::size_t ControllerBarOffset(const std::string& page);

}  // namespace kv
