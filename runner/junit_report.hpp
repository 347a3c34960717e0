// JUnit XML for CI systems: one test suite per script, one test case per step.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillfen::runner {

struct CaseResult {
  std::string name;  // the instruction as written
  int line = 0;      // its line in the script
  double seconds = 0;
  // The reason, present exactly when the step failed.
  std::optional<std::string> failure;
};

struct SuiteResult {
  std::string name;  // the script's path as given
  double seconds = 0;
  std::vector<CaseResult> cases;
};

// The whole document. Text is escaped for XML, and characters that XML cannot hold
// (control characters, invalid UTF-8) are replaced, so the document is always well
// formed.
std::string junit_xml(const std::vector<SuiteResult>& suites);

// Writes the document through files::write_file (missing directories created, an
// earlier file replaced whole or not at all); throws std::runtime_error, one sentence
// naming the file and the cause, when it cannot be written.
void write_junit(const std::filesystem::path& file, const std::vector<SuiteResult>& suites);

}  // namespace quillfen::runner
