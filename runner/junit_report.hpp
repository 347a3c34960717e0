// JUnit XML for CI systems: one test suite per script, one test case per step, with the
// step's time. A failed step is a <failure> with its reason; so is a step that did not
// run (its reason says "not run: ..." and why). What else the step knows is put where CI tools
// show it: the strategy, level, element and anchor as the case's <properties>, and the
// same in plain lines (with the closest candidates, notes and attachments, the latter as
// [[ATTACHMENT|path]]) in its <system-out>.
#pragma once

#include "runner/outcome.hpp"

#include <filesystem>
#include <string>

namespace quillfen::runner {

// The whole document. Text is escaped for XML, and characters that XML cannot hold
// (control characters, invalid UTF-8) are replaced, so the document is always well
// formed. Attachments are listed by their path from `attachments_from`, the folder
// their paths are relative to (the report's), so that CI tools find them from the
// folder the run was started in.
std::string junit_xml(const RunOutcome& run, const std::filesystem::path& attachments_from = {});

// Writes the document through files::write_file (missing directories created, an
// earlier file replaced whole or not at all); throws std::runtime_error, one sentence
// naming the file and the cause, when it cannot be written.
void write_junit(const std::filesystem::path& file, const RunOutcome& run,
                 const std::filesystem::path& attachments_from = {});

}  // namespace quillfen::runner
