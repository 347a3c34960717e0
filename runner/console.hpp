// The console as a run shows it, beside the reporter's own step lines (which the
// reporter prints to the same stream): notes under a step, the step's details with
// --verbose, a line when each script starts and one when it ends (when a run has
// several scripts), and where the files went. The runner library writes only to the
// streams it is given; this is the one for the console.
#pragma once

#include "runner/outcome.hpp"

#include <cstddef>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>

namespace quillfen::runner {

class Console {
 public:
  // `out` must outlive the console.
  Console(std::ostream& out, bool verbose);

  std::ostream& stream() { return out_; }
  bool verbose() const { return verbose_; }

  // "         note    : TEXT", aligned with the reporter's lines under a step.
  void note(std::string_view text);
  // With --verbose: the element the step used and how it was found, its anchor, the
  // candidates that came closest when nothing was found, what a failed check found where.
  void details(const StepOutcome& step);

  // The script's name as a heading: "[2/14] PATH" when the run has several, else "PATH".
  void script_started(std::size_t number, std::size_t total, const std::string& path);
  // With several scripts: "[2/14] PATH: 9 passed, 1 failed in 3.2 s".
  void script_finished(std::size_t number, std::size_t total, const ScriptOutcome& script);
  // "  JUnit XML   → PATH", aligned with the reporter's "  HTML report → PATH".
  void file_written(std::string_view what, const std::filesystem::path& path);

  void flush();

 private:
  std::ostream& out_;
  bool verbose_;
};

// "9 passed, 1 failed, 2 not run" (parts that are zero are left out; "no steps" when
// there are none).
std::string counts_words(const Counts& counts);

}  // namespace quillfen::runner
