// The whole run as one JSON document, for dashboards and other tools: the run, its
// scripts and their steps, with statuses, strategies and levels, the elements used,
// timings, reasons, states, notes and attachments. The README shows its shape.
#pragma once

#include "runner/outcome.hpp"

#include <filesystem>

namespace quillfen::runner {

// Every member is always there (null or empty when it does not apply), so a reader
// never has to guess whether a key is missing or empty.
Json to_json(const RunOutcome& run);

// Writes the document through files::write_file; throws std::runtime_error, one
// sentence naming the file and the cause, when it cannot be written.
void write_json(const std::filesystem::path& file, const RunOutcome& run);

}  // namespace quillfen::runner
