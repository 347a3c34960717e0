// `quillfen resolve`: instruction lines resolved offline against a saved snapshot.
#include "runner/cli/commands.hpp"

#include "runner/offline_resolution.hpp"

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace quillfen::cli {

namespace {

bool print_resolution(const offline::Snapshot& snapshot, std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const Json answer = offline::resolve_line(snapshot, line);
  std::cout << dump_line(answer) << '\n';
  return !answer.contains("error");
}

int resolve_lines(const std::string& snapshot_path, const std::vector<std::string>& arguments) {
  offline::Snapshot snapshot;
  try {
    snapshot = offline::load_snapshot(snapshot_path);
  } catch (const offline::SnapshotError& e) {
    std::cerr << "quillfen: " << e.what() << '\n';
    return 2;
  }
  bool all_parsed = true;
  for (const auto& argument : arguments) {
    if (argument != "-") {
      all_parsed = print_resolution(snapshot, argument) && all_parsed;
      continue;
    }
    std::string line;
    while (std::getline(std::cin, line)) all_parsed = print_resolution(snapshot, line) && all_parsed;
  }
  std::cout.flush();
  return all_parsed ? 0 : 1;
}

}  // namespace

void add_resolve_command(CLI::App& app, int& status) {
  auto* command = app.add_subcommand(
      "resolve",
      "Resolves instruction lines against a saved snapshot (as written by `quillfen scan`) and prints "
      "one JSON object per line: {\"instruction\", \"parsed\", \"level\", \"strategy\", \"result\"}, level "
      "1 (\"DOM\") for the text match, 2 (\"Spatial\") for the relational resolution, 3 (\"Relaxed\") for "
      "labels, plain text and the looser relations, null when none found an element; a line that is not "
      "an instruction prints {\"instruction\", \"error\"}. A LINE of - reads lines from standard input. "
      "Exit 0 when every line parsed, 1 otherwise, 2 when the snapshot cannot be used.");
  auto snapshot = std::make_shared<std::string>();
  auto lines = std::make_shared<std::vector<std::string>>();
  command->add_option("--snapshot", *snapshot, "The snapshot file")->required();
  command->add_option("LINE", *lines, "An instruction line, or - for standard input")->required();
  command->callback([snapshot, lines, &status] { status = resolve_lines(*snapshot, *lines); });
}

}  // namespace quillfen::cli
