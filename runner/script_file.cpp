#include "runner/script_file.hpp"

#include "engine/core/text.hpp"

#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace quillfen::runner {

Script read_script(const std::filesystem::path& path) {
  const auto fail = [&](const std::string& why) {
    return std::runtime_error("cannot read the script " + text::quoted(path.string()) + ": " + why + ".");
  };
  const auto failed = [&](int error) { return fail(std::generic_category().message(error)); };
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw failed(EISDIR);
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw failed(errno != 0 ? errno : ENOENT);
  // Read in pieces up to the bound, so that /dev/zero or a FIFO that never ends is
  // refused instead of filling memory.
  std::string all;
  std::string piece(std::size_t{1} << 16, '\0');
  while (in) {
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    all.append(piece, 0, static_cast<std::size_t>(in.gcount()));
    if (all.size() > MAX_SCRIPT_BYTES) throw fail("it is larger than 16 MB, the most a script may hold");
  }
  if (in.bad()) throw failed(EIO);
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
