// Pictures of the page at a step: the viewport as it was, with the element the step used
// (or, when nothing was found, the candidates that came closest, and the anchor of a step
// placed next to another) outlined and labelled. The outlines are drawn in a layer of
// their own that moves and covers nothing (see js/outline.js) and is removed right after
// the picture is taken.
//
// Pictures are PNG files in a folder beside the report (report.html gets report-files/),
// linked by paths relative to the report's folder, so the report and its folder can be
// copied or archived together. A run's pictures together stay within a bound; past it a
// step gets a note instead of a picture. A picture that cannot be drawn, taken or written
// is a note too: it never changes a step's verdict.
#pragma once

#include "chromium/tab.hpp"
#include "engine/core/records.hpp"

#include <cstddef>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillfen::runner {

// Which steps get a picture.
enum class PictureWhen { failures, all, off };

// "failures", "all" or "off"; none for another word.
std::optional<PictureWhen> picture_when(std::string_view word);

// What an outline stands for: the element a step used, one of the closest candidates, or
// the anchor a relational step was placed next to. Each kind has its own colour.
enum class MarkKind { element, candidate, anchor };

struct Mark {
  MarkKind kind = MarkKind::element;
  std::string label;
  // Where the element is now; `box` (in viewport pixels, as the scan read it) is drawn
  // when the xpath no longer finds it.
  std::string xpath;
  std::optional<BoundingBox> box;
};

// Draws the marks on the tab's page and answers the id of the layer that holds them.
// Throws PageError when the page cannot run the script.
std::string draw_outlines(chromium::Tab& tab, const std::vector<Mark>& marks);
// Removes that layer, and scrolls the window back to where it was before it was drawn.
void remove_outlines(chromium::Tab& tab, const std::string& layer);

// The folder of a report's pictures: beside it, named after it (report.html gives
// report-files).
std::filesystem::path pictures_folder(const std::filesystem::path& report);

// A file name for a step's picture, unique within a run: the script's number and name
// (letters, digits, '-' and '_' only) and the step's line, as 2-checkout-line7.png.
std::string picture_name(std::size_t script_number, const std::filesystem::path& script, int line);

// Either the path of the picture (relative to the report's folder) or why there is none,
// and notes about a picture that was taken but came out less than asked (no outlines).
struct PictureTaken {
  std::optional<std::string> path;
  std::vector<std::string> notes;
};

class PictureTaker {
 public:
  static constexpr std::size_t DEFAULT_BUDGET = 100 * 1024 * 1024;

  // Pictures for the report at `report`, at most `budget` bytes of them in all.
  explicit PictureTaker(const std::filesystem::path& report, std::size_t budget = DEFAULT_BUDGET);

  // Draws the marks on the tab's page, takes the viewport, removes the marks, and writes
  // the picture under `name`. Throws nothing: what goes wrong is said in the notes.
  PictureTaken take(chromium::Tab& tab, const std::vector<Mark>& marks, const std::string& name);

  // Bytes of pictures written so far. Safe to call from several workers at once, as
  // is take.
  std::size_t used() const {
    const std::lock_guard lock(budget_mutex_);
    return used_;
  }

 private:
  std::filesystem::path folder_;
  // The folder as a link from the report's folder, with a trailing '/'.
  std::string link_prefix_;
  std::size_t budget_;
  mutable std::mutex budget_mutex_;
  std::size_t used_ = 0;
};

}  // namespace quillfen::runner
