#include "runner/outcome.hpp"

#include "engine/core/text.hpp"

#include <cstdio>
#include <ctime>

namespace quillfen::runner {

std::string_view status_words(StepStatus status) {
  switch (status) {
    case StepStatus::passed: return "passed";
    case StepStatus::failed: return "failed";
    case StepStatus::not_run: break;
  }
  return "not run";
}

ElementInfo element_info(const ElementRecord& element) {
  ElementInfo info;
  info.tag = element.tag;
  info.id = element.attributes.get("id");
  const std::string trimmed = text::trim(element.text);
  info.text = text::prefix(trimmed, ElementInfo::TEXT_LIMIT);
  info.text_cut = info.text.size() < trimmed.size();
  info.label = element.attributes.get("_label");
  info.xpath = element.xpath;
  info.box = element.bounding_box;
  info.visible = element.is_visible;
  info.enabled = element.is_enabled;
  return info;
}

std::string short_name(const ElementInfo& element) {
  std::string name = "<" + element.tag + (element.id.empty() ? "" : "#" + element.id) + ">";
  if (!element.text.empty()) {
    name += " " + text::quoted(element.text) + (element.text_cut ? "..." : "");
  } else if (!element.label.empty()) {
    name += " labelled " + text::quoted(element.label);
  }
  return name;
}

std::string_view level_label(int level) {
  switch (level) {
    case 1: return DOM_LABEL;
    case 2: return SPATIAL_LABEL;
    case 3: return RELAXED_LABEL;
    default: return {};
  }
}

void Counts::add(const Counts& other) {
  steps += other.steps;
  passed += other.passed;
  failed += other.failed;
  not_run += other.not_run;
}

Counts count(const std::vector<StepOutcome>& steps) {
  Counts counts;
  counts.steps = steps.size();
  for (const StepOutcome& step : steps) {
    switch (step.status) {
      case StepStatus::passed: ++counts.passed; break;
      case StepStatus::failed: ++counts.failed; break;
      case StepStatus::not_run: ++counts.not_run; break;
    }
  }
  return counts;
}

Counts RunOutcome::counts() const {
  Counts total;
  for (const ScriptOutcome& script : scripts) total.add(script.counts());
  return total;
}

std::string utc_text(WallClock::time_point time) {
  const auto since_epoch = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch());
  const std::time_t seconds = static_cast<std::time_t>(since_epoch.count() / 1000);
  const long millis = static_cast<long>(since_epoch.count() % 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char buffer[40];
  const std::size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &utc);
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, ".%03ldZ", millis < 0 ? 0 : millis);
  return std::string(buffer, n) + fraction;
}

}  // namespace quillfen::runner
