#include "runner/details.hpp"

#include "engine/core/text.hpp"

namespace quillfen::runner {
namespace {

bool is_check(const StepOutcome& step) { return step.strategy && *step.strategy == CHECK_STRATEGY; }

std::string via_words(const StepOutcome& step) {
  std::string words = *step.strategy;
  if (!step.level) return words;
  const std::string level = "level " + std::to_string(*step.level);
  if (is_check(step)) return words + ", found by " + std::string(level_label(*step.level)) + " (" + level + ")";
  return words + " (" + level + ")";
}

}  // namespace

std::string element_words(const ElementInfo& element) {
  std::string words = short_name(element) + " at " + element.xpath;
  if (!element.visible) words += " (hidden)";
  if (!element.enabled) words += " (disabled)";
  return words;
}

std::vector<Detail> step_details(const StepOutcome& step) {
  std::vector<Detail> details;
  if (step.element) {
    // A check that failed on an element says what it found there: the text that was
    // not the expected one, the element in the wrong state.
    const bool found_wrong = is_check(step) && step.status == StepStatus::failed;
    std::string words = element_words(*step.element);
    if (found_wrong && step.state && step.state->is_object()) {
      const auto actual = step.state->find("actual");
      if (actual != step.state->end() && actual->is_string()) {
        const ElementInfo& e = *step.element;
        words = text::quoted(actual->get<std::string>()) + " in <" + e.tag + (e.id.empty() ? "" : "#" + e.id) +
                "> at " + e.xpath;
      }
    }
    details.push_back({found_wrong ? "found" : "element", std::move(words)});
  }
  // "direct" is on the step's own line already, and there is nothing more to say.
  if (step.strategy && *step.strategy != DIRECT_STRATEGY) details.push_back({"via", via_words(step)});
  if (step.anchor) details.push_back({"anchor", text::quoted(*step.anchor)});
  for (std::size_t i = 0; i < step.candidates.size() && i < CANDIDATES_SHOWN; ++i) {
    details.push_back({"nearest", element_words(step.candidates[i])});
  }
  return details;
}

}  // namespace quillfen::runner
