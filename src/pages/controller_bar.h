#pragma once
// The controller bar: with several controllers, every main page opens with one link per
// controller, coloured by its verdict like the strip, the page's own controller marked.
//
//   <div id="controllers"><a class="verdict verdict-bad" href="/c1/" ...><b>Controller 1</b>
//   KVR7805Z: Critical</a> <a class="verdict verdict-ok" href="/c2/" aria-current="page" ...>
//   <b>Controller 2</b> KVR7805Z: OK (this page)</a></div>
//
// The words say what the colours do, so the text form of the page reads the same. The
// collection serves it inside the main page at ControllerBarOffset (main_page.h). Pure.
#include <span>
#include <string>

#include "health/verdict.h"

namespace kv {

struct TControllerLink {
  int Number = 1;
  THealth Verdict = THealth::OK;
  std::string Model;  // as the listing gives it (Windows-1251)
};

// The bar for the main page of controller `current`; empty for fewer than two links.
std::string RenderControllerBar(std::span<const TControllerLink> links, int current);

}  // namespace kv
