// Feeds arbitrary bytes to the offline resolution path. The bytes before the first NUL
// are the snapshot document (with or without its extras) and the lines after it the
// instructions; without a NUL the whole input is the document, resolved with a few fixed
// lines. Beyond the sanitizers it checks that a refused document gets a one-line
// message, that every answer has its shape, that the chain's level and strategy agree,
// and that the relational resolution only ever picks one of the snapshot's interactable
// records.
#include "runner/offline_resolution.hpp"

#include "engine/agent/step_reader.hpp"
#include "engine/spatial/layout_mapper.hpp"
#include "engine/spatial/relation_solver.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace quillfen;

void require(bool condition) {
  if (!condition) std::abort();
}

constexpr std::size_t kMaxLines = 16;

std::vector<std::string_view> lines_of(std::string_view rest) {
  std::vector<std::string_view> lines;
  while (lines.size() < kMaxLines) {
    const auto end = rest.find('\n');
    lines.push_back(rest.substr(0, end));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return lines;
}

void check_answer(const Json& answer) {
  require(answer.contains("instruction"));
  if (answer.contains("error")) {
    require(answer.size() == 2);
    return;
  }
  require(answer.size() == 5 && answer.contains("parsed") && answer.contains("result"));
  const Json& level = answer["level"];
  const Json& strategy = answer["strategy"];
  require(level.is_null() || level == 1 || level == 2 || level == 3);
  require(answer["result"]["resolved"] == !level.is_null());
  require(level.is_null() ? (strategy.is_null() || strategy == "direct")
                          : strategy == (level == 1 ? "DOM" : level == 2 ? "Spatial" : "Relaxed"));
  (void)dump_line(answer);
}

void check_relational(const offline::Snapshot& snapshot, const RelationSolver& solver, std::string_view line) {
  ParsedInstruction parsed;
  try {
    parsed = StepReader().parse(line);
  } catch (const std::invalid_argument&) {
    return;
  }
  const ResolutionResult result = solver.resolve(parsed);
  const auto interactable = [&snapshot](const Element& e) {
    return std::find(snapshot.elements.begin(), snapshot.elements.end(), e) != snapshot.elements.end();
  };
  require(result.resolved == (result.element != nullptr));
  if (!result.resolved) return;
  require(interactable(result.element));
  require(std::all_of(result.candidates.begin(), result.candidates.end(), interactable));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto nul = input.find('\0');
  const std::string_view document = input.substr(0, nul);
  const std::vector<std::string_view> lines =
      nul == std::string_view::npos
          ? std::vector<std::string_view>{"click button next to login", "click second \"Add to cart\" below \"Price\"",
                                          "click Add to cart near Blue Backpack", "click third link",
                                          "verify text next to Total is $0.00", "click \"Remember me\"",
                                          "type x into \"Search\"", "verify \"1 item left\" is visible",
                                          "find text 1 item left", "hover checkbox next to \"Buy milk\""}
          : lines_of(input.substr(nul + 1));

  offline::Snapshot snapshot;
  try {
    snapshot = offline::parse_snapshot(document);
  } catch (const offline::SnapshotError& e) {
    const std::string_view message = e.what();
    require(!message.empty() && message.find('\n') == std::string_view::npos);
    return 0;
  }
  const RelationSolver solver(LayoutMapper(snapshot.elements, snapshot.text_elements).build());
  for (const std::string_view line : lines) {
    check_answer(offline::resolve_line(snapshot, line));
    check_relational(snapshot, solver, line);
  }
  return 0;
}
