// What a run adds to the HTML report, after the reporter's table of results (which stays
// as it is): the run's start, duration, browser and command line; then per script its
// steps in a group that opens and closes (groups with a failure open), and per step its
// time, strategy and level, the element it used (tag, id, text, xpath), the anchor, the
// state it checked, the closest candidates, notes, the reason of a failure and its
// picture. A "failed only" switch hides what passed, in this part and in the table.
//
// The page stays one self-contained file: no network, no external script or font; a few
// lines of inline script, style that reads in a narrow window, and print rules that open
// every group. All text from pages and scripts is escaped, so markup in it stays text.
#pragma once

#include "engine/agent/reporter.hpp"
#include "runner/outcome.hpp"

namespace quillfen::runner {

// The style rules for the page's head and the part after the table.
Reporter::PageAdditions report_additions(const RunOutcome& run);

// A command line as it could be typed again: words with blanks or shell characters in
// single quotes.
std::string command_words(const std::vector<std::string>& command_line);

}  // namespace quillfen::runner
