// `quillfen parse` and `quillfen validate`: the instruction language on the command line.
#include "runner/cli/commands.hpp"

#include "engine/core/records.hpp"
#include "engine/core/text.hpp"
#include "runner/instruction_reader.hpp"
#include "runner/script_file.hpp"

#include <CLI/CLI.hpp>

#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace quillfen::cli {

namespace {

// Reads one line without its terminator; a carriage return before the line feed belongs
// to the terminator, not to the instruction.
bool read_line(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

// Prints the instruction of one line, or {"error": MESSAGE}; false when it was rejected.
bool print_parsed(const runner::InstructionReader& reader, const std::string& line) {
  try {
    std::cout << dump_line(to_json(reader.parse(line))) << '\n';
    return true;
  } catch (const std::invalid_argument& e) {
    Json error = Json::object();
    error["error"] = e.what();
    std::cout << dump_line(error) << '\n';
    return false;
  }
}

int parse_lines(const std::vector<std::string>& arguments) {
  const runner::InstructionReader reader;
  bool all_parsed = true;
  for (const auto& argument : arguments) {
    if (argument != "-") {
      all_parsed = print_parsed(reader, argument) && all_parsed;
      continue;
    }
    std::string line;
    while (read_line(std::cin, line)) all_parsed = print_parsed(reader, line) && all_parsed;
  }
  std::cout.flush();
  return all_parsed ? 0 : 1;
}

using Failures = std::map<int, std::vector<std::string>>;

Failures failures_of(const runner::InstructionReader& reader, const runner::Script& script) {
  Failures failures;
  for (const auto& step : script.steps) {
    auto issues = reader.validate(step.text);
    if (!issues.empty()) failures.emplace(step.line, std::move(issues));
  }
  return failures;
}

int validate_files(const std::vector<std::string>& paths, bool as_json) {
  // Every file is read before anything is printed, so an unreadable one leaves no
  // partial report behind.
  std::vector<runner::Script> scripts;
  scripts.reserve(paths.size());
  for (const auto& path : paths) scripts.push_back(runner::read_script(path));

  const runner::InstructionReader reader;
  bool clean = true;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const Failures failures = failures_of(reader, scripts[i]);
    clean = clean && failures.empty();
    if (as_json) {
      // One failure map per file, in the order the files were given.
      Json map = Json::object();
      for (const auto& [number, issues] : failures) map[std::to_string(number)] = issues;
      std::cout << dump_line(map) << '\n';
      continue;
    }
    const std::string where = text::valid_utf8(paths[i]) + ":";
    for (const auto& [number, issues] : failures) {
      for (const auto& issue : issues) std::cout << where << number << ": " << issue << '\n';
    }
  }
  std::cout.flush();
  return clean ? 0 : 1;
}

}  // namespace

void add_parse_command(CLI::App& app, int& status) {
  auto* command = app.add_subcommand(
      "parse",
      "Parses instruction lines and prints each as one JSON object (JSON Lines); a rejected line "
      "prints {\"error\": MESSAGE}. A LINE of - reads lines from standard input; put -- before lines "
      "that begin with -. Exit 0 when every line parsed, 1 otherwise.");
  auto lines = std::make_shared<std::vector<std::string>>();
  command->add_option("LINE", *lines, "An instruction line, or - for standard input")->required();
  command->callback([lines, &status] { status = parse_lines(*lines); });
}

void add_validate_command(CLI::App& app, int& status) {
  auto* command = app.add_subcommand(
      "validate",
      "Checks the syntax of script files and prints FILE:LINE: ISSUE for each issue; blank lines "
      "and # comments are skipped. Exit 0 when clean, 1 when there are issues.");
  auto files = std::make_shared<std::vector<std::string>>();
  auto as_json = std::make_shared<bool>(false);
  command->add_option("FILE", *files, "A script file")->required();
  command->add_flag("--json", *as_json, "Print each file's issues as one JSON object keyed by line number");
  command->callback([files, as_json, &status] { status = validate_files(*files, *as_json); });
}

}  // namespace quillfen::cli
