#include "pages/controller_bar.h"

#include "pages/format_helpers.h"
#include "pages/health_view.h"

namespace kv {

std::string RenderControllerBar(std::span<const TControllerLink> links, int current) {
  if (links.size() < 2) return std::string();
  // Boxes of the strip's colours side by side, wrapping on a narrow screen.
  std::string out = "<div id=\"controllers\">";
  for (const TControllerLink& link : links) {
    const std::string number = std::to_string(link.Number);
    const bool shown = link.Number == current;
    out += std::string("<a class=\"verdict ") + VerdictClass(link.Verdict) + "\" href=\"/c" + number + "/\"";
    if (shown) out += " aria-current=\"page\"";
    out += " style=\"display: inline-block; margin: 0 6px 12px 0;";
    if (shown) out += " border-width: 3px;";
    out += "\"><b>Controller " + number + "</b>";
    if (!link.Model.empty()) out += " " + HtmlEscapeAll(link.Model);
    out += std::string(": ") + HealthWord(link.Verdict);
    if (shown) out += " (this page)";
    out += "</a>\r\n";
  }
  return out + "</div>\r\n";
}

}  // namespace kv
