#include "runner/script_file.hpp"

#include "engine/core/text.hpp"
#include "runner/bounded_read.hpp"

#include <sstream>
#include <stdexcept>
#include <string>

namespace quillfen::runner {

Script read_script(const std::filesystem::path& path) {
  std::string all;
  try {
    all = read_bounded(path, MAX_SCRIPT_BYTES, "16 MB, the most a script may hold");
  } catch (const ReadError& e) {
    throw std::runtime_error("cannot read the script " + text::quoted(path.string()) + ": " + e.what() + ".");
  }
  if (all.rfind("\xEF\xBB\xBF", 0) == 0) all.erase(0, 3);

  Script script{path, {}};
  std::istringstream lines(all);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string step = text::trim(line);
    if (step.empty() || step.front() == '#') continue;
    script.steps.push_back({number, std::move(step)});
  }
  return script;
}

std::vector<std::string> script_issues(const Script& script, const InstructionReader& reader) {
  std::vector<std::string> issues;
  const std::string where = script.path.string() + ":";
  for (const auto& step : script.steps) {
    const std::string prefix = where + std::to_string(step.line) + ": ";
    const std::vector<std::string> found = reader.validate(step.text);
    for (const auto& issue : found) issues.push_back(prefix + issue);
    if (!found.empty()) continue;
    try {
      reader.parse(step.text);
    } catch (const std::invalid_argument& e) {
      issues.push_back(prefix + e.what());
    }
  }
  return issues;
}

}  // namespace quillfen::runner
