#include "runner/step_pictures.hpp"

#include "engine/core/text.hpp"
#include "engine/spatial/layout_mapper.hpp"
#include "engine/spatial/relation_solver.hpp"

#include <stdexcept>

namespace quillfen::runner {

Element anchor_of(std::string_view target, const Elements& elements, const Elements& texts) {
  const relation_solver::ParsedTarget parts = relation_solver::_parse_target(target);
  if (!parts.relation || !parts.anchor || parts.anchor->empty()) return nullptr;
  const RelationSolver solver(LayoutMapper(elements, texts).build());
  const MatrixEntry* entry = solver._find_anchor(*parts.anchor);
  return entry ? entry->element : nullptr;
}

std::vector<Mark> marks_for(const StepOutcome& step, const Element& anchor) {
  std::vector<Mark> marks;
  if (step.element) {
    marks.push_back({MarkKind::element, "used: " + short_name(*step.element), step.element->xpath, step.element->box});
  } else {
    for (std::size_t i = 0; i < step.candidates.size(); ++i) {
      const ElementInfo& candidate = step.candidates[i];
      marks.push_back({MarkKind::candidate, "closest " + std::to_string(i + 1) + ": " + short_name(candidate),
                       candidate.xpath, candidate.box});
    }
  }
  if (anchor) {
    marks.push_back({MarkKind::anchor, "anchor: " + short_name(element_info(*anchor)), anchor->xpath, anchor->bounding_box});
  }
  return marks;
}

void StepPictures::after_step(chromium::Tab& tab, StepOutcome& step, std::size_t script_number,
                              const std::filesystem::path& script,
                              const std::optional<PageRecords>& scan) {
  const bool wanted = when_ == PictureWhen::all ? step.status != StepStatus::not_run
                                                : when_ == PictureWhen::failures && step.status == StepStatus::failed;
  if (!wanted) return;
  Element anchor;
  if (scan) {
    try {
      const ParsedInstruction parsed = reader_.parse(step.instruction);
      if (parsed.target) anchor = anchor_of(*parsed.target, scan->elements, scan->text_elements);
    } catch (const std::invalid_argument&) {
      // A line that does not parse has no anchor to show.
    }
  }
  PictureTaken taken = taker_.take(tab, marks_for(step, anchor), picture_name(script_number, script, step.line));
  if (taken.path) step.attachments.push_back({"screenshot", *taken.path, "image/png"});
  for (std::string& note : taken.notes) step.notes.push_back(std::move(note));
}

}  // namespace quillfen::runner
