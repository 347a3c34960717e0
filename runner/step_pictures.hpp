// Pictures of steps as a run takes them: which steps get one (--screenshots failures, all
// or off), what is outlined on each (the element the step used; else the candidates that
// came closest; and the anchor of a step placed next to another), and the attachment or
// the notes that the picture leaves on the step's outcome.
#pragma once

#include "chromium/tab.hpp"
#include "runner/instruction_reader.hpp"
#include "runner/outcome.hpp"
#include "runner/page_extras.hpp"
#include "runner/pictures.hpp"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace quillfen::runner {

// The element a relational or directional target is placed next to ("Total" in `verify
// text next to "Total" is $29.00`), looked up in a scan as the place strategy looks it
// up; none when the target names no anchor or the scan has none.
Element anchor_of(std::string_view target, const Elements& elements, const Elements& texts);

// The outlines of a step's picture: its element, else its closest candidates, and the
// anchor when there is one.
std::vector<Mark> marks_for(const StepOutcome& step, const Element& anchor);

class StepPictures {
 public:
  StepPictures(PictureWhen when, PictureTaker& taker) : when_(when), taker_(taker) {}

  // Takes the picture of a step that has just ended on `tab`, when it gets one, and
  // attaches it (or notes why there is none) to the step. `scan` is what the step read
  // last, if it read the page.
  void after_step(chromium::Tab& tab, StepOutcome& step, std::size_t script_number, const std::filesystem::path& script,
                  const std::optional<PageRecords>& scan);

 private:
  PictureWhen when_;
  PictureTaker& taker_;
  InstructionReader reader_;
};

}  // namespace quillfen::runner
