#pragma once
// Whether a command's output is whole, or the utility stopped half way (it crashed, was
// killed, or ran out of something) and left a text that would read as a smaller
// controller.
//
// Every configuration listing the utility prints ends with its completion line:
//
//   Logical device number 1
//   ...
//   Command completed successfully.
//   <blank lines>
//
// and every XML document it writes closes each element it opens, the last root included
// (the SMART output holds two roots, <SASSmartStats> and <SmartStats>). Pure; any thread.
#include <string_view>

namespace kv {

inline constexpr std::string_view kCompletionLine = "Command completed successfully.";

// True when the last line that is not blank is the completion line (blanks around it
// ignored).
bool ListingComplete(std::string_view text);

// True when the text holds at least one element and every element opened is closed by the
// end: start tags minus end tags, self-closing tags, declarations, comments and CDATA
// skipped, quoted attribute values passed over whole.
bool XmlElementsClosed(std::string_view text);

}  // namespace kv
