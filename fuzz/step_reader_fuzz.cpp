// Feeds arbitrary bytes to the step reader: as one line to parse, validate and the
// helpers, and split at line feeds to validate_all. Beyond the sanitizers, it checks
// that every string handed out is valid UTF-8 and that a rejection carries its message.
// The runner's instruction reader gets the same line and must read every line that the
// step reader accepts exactly as it does, and reject the others with the same message
// unless one of its added forms reads them.
#include "engine/agent/step_reader.hpp"
#include "engine/core/records.hpp"
#include "engine/core/text.hpp"
#include "runner/instruction_reader.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

void require_utf8(const std::string& s) { require(quillfen::text::valid_utf8(s) == s); }

void require_record(const quillfen::ParsedInstruction& parsed) {
  if (parsed.target) require_utf8(*parsed.target);
  if (parsed.value) require_utf8(*parsed.value);
  require(!parsed.ordinal || (*parsed.ordinal >= 1 && *parsed.ordinal <= 5));
}

// The parse of a line as one comparable string: the record as JSON, or the rejection.
template <typename Reader>
std::string outcome(const Reader& reader, const std::string& line) {
  try {
    return "read: " + quillfen::dump_line(quillfen::to_json(reader.parse(line)));
  } catch (const std::invalid_argument& e) {
    return std::string("rejected: ") + e.what();
  }
}

void check_instruction_reader(const std::string& line) {
  const quillfen::runner::InstructionReader reader;
  const std::string old_outcome = outcome(quillfen::StepReader(), line);
  const std::string new_outcome = outcome(reader, line);
  if (old_outcome != new_outcome) {
    require(old_outcome.starts_with("rejected: ") && new_outcome.starts_with("read: "));
    const quillfen::ParsedInstruction parsed = reader.parse(line);
    const auto& extra = quillfen::runner::EXTRA_ACTIONS;
    require(std::find(extra.begin(), extra.end(), parsed.action) != extra.end());
    require_record(parsed);
  }
  for (const auto& issue : reader.validate(line)) require_utf8(issue);
  quillfen::runner::wait_milliseconds(line);
}

bool produced_by_parse(std::string_view action) {
  const auto& known = quillfen::StepReader::SUPPORTED_ACTIONS;
  return action == "navigate" || action == "wait" || std::find(known.begin(), known.end(), action) != known.end();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const quillfen::StepReader reader;

  try {
    const quillfen::ParsedInstruction parsed = reader.parse(line);
    require(produced_by_parse(parsed.action));
    require_record(parsed);
    require(!quillfen::dump_line(quillfen::to_json(parsed)).empty());
  } catch (const std::invalid_argument& e) {
    const std::string message = e.what();
    require(message.starts_with("Unrecognised instruction: "));
    require_utf8(message);
  }

  for (const auto& issue : reader.validate(line)) require_utf8(issue);
  check_instruction_reader(line);

  const auto [unquoted, literals] = reader._unquote(line);
  require_utf8(unquoted);
  for (const auto& literal : literals) require(!literal.empty() && literal.find('"') == std::string::npos);
  require_utf8(reader._clean_target(line));
  const auto [ordinal, rest] = quillfen::_extract_ordinal(line);
  require(ordinal >= 1 && ordinal <= 5);
  require_utf8(rest);

  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= line.size()) {
    const std::size_t end = std::min(line.find('\n', start), line.size());
    lines.push_back(line.substr(start, end - start));
    start = end + 1;
  }
  int previous = 0;
  for (const auto& [number, issues] : reader.validate_all(lines)) {
    require(number > previous && number <= static_cast<int>(lines.size()) && !issues.empty());
    previous = number;
  }
  return 0;
}
