#pragma once
// How many controllers the utility reports: every configuration listing starts with
// "Controllers found: N" (one generation prints "Controllers Found"). Pure; any thread.
#include <string_view>

namespace kv {

// N of the listing's first "Controllers found: N" line, in any letter case and with blanks
// around it; 0 when the listing has no such line (or N is not a number). Only the listing's
// first lines are read: the line comes before any controller.
int ReportedControllerCount(std::string_view listing);

}  // namespace kv
