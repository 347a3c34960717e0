// The details of a step beyond its specified console line, as labelled lines in plain
// words: the element it used (or, for a failed check, what it found and where), the
// strategy that found it, the anchor of a step placed next to another, the candidates
// that came closest when nothing was found, its notes and attachments. The console
// prints them under the step with --verbose; JUnit puts them in the case's output.
#pragma once

#include "runner/outcome.hpp"

#include <string>
#include <vector>

namespace quillfen::runner {

struct Detail {
  std::string label;  // one word: "element", "via", "anchor", "nearest", "found"
  std::string text;
};

// How many of the closest candidates are listed.
inline constexpr std::size_t CANDIDATES_SHOWN = 5;

// The element in plain words: <button#save> 'Save' at /html[1]/body[1]/button[1],
// with "(hidden)" or "(disabled)" when it is.
std::string element_words(const ElementInfo& element);

// The element, strategy, anchor and candidates of a step, in that order.
std::vector<Detail> step_details(const StepOutcome& step);

}  // namespace quillfen::runner
