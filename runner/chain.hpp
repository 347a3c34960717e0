// The resolution chain: the ordered strategies that decide which element, or which piece
// of text, an instruction means. `quillfen run`, `quillfen resolve` and the fuzz target
// all resolve through it, so a line gets the same answer wherever it is resolved.
//
// Level 1, "DOM", matches by text; level 2, "Spatial", by place on the page (the spatial
// matrix and the relational resolution); level 3, "Relaxed", reads the page as a person
// does (labels for their controls, plain text, either side of an anchor). A strategy is
// asked only when every earlier one found no element at all: a found element ends the
// chain, also when it is in the wrong state, so a later strategy never overrules an
// earlier one, nor turns a failed check into a pass.
#pragma once

#include "engine/core/records.hpp"
#include "runner/page_extras.hpp"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillfen::runner {

// What the strategies read: the page's records and the extras the scan gathered beside
// them (empty for a snapshot that has none).
struct PageView {
  const Elements& elements;
  const Elements& text_elements;
  const PageExtras& extras;
};

inline PageView view_of(const PageRecords& records) {
  return {records.elements, records.text_elements, records.extras};
}

// The label a step that needs no element is shown with.
inline constexpr std::string_view DIRECT_LABEL = "direct";

// The action the text and place strategies resolve an action as: element acts (double
// and right click, check, uncheck) as "click"; element state checks and their negations
// as "verify_present"; text negations as "verify_text_present"; any other as itself.
std::string_view resolves_as(std::string_view action);

// Actions that need no element at all (the title and address checks).
bool needs_no_element(std::string_view action);

struct Strategy {
  std::string label;
  int level = 0;
  // Whether the strategy takes part for an action.
  std::function<bool(std::string_view action)> serves;
  std::function<ResolutionResult(const ParsedInstruction&, const PageView&)> resolve;
  // Whether it reads the page's extras; one that does not sees them empty.
  bool reads_extras = false;
};

// What one strategy said.
struct Attempt {
  std::string label;
  int level = 0;
  ResolutionResult result;
};

struct ChainAnswer {
  // The strategy that found an element; none when none did.
  std::optional<int> level;
  std::optional<std::string> label;
  // That strategy's result; when nothing was found, the first strategy's (level 1's).
  ResolutionResult result;
  // Every strategy asked, in order, with its result.
  std::vector<Attempt> attempts;

  bool found() const { return level.has_value(); }
  // The result of the strategy with this label, or none when it was not asked.
  std::optional<ResolutionResult> said(std::string_view label) const;
  // The candidates the strategies came closest with (each strategy's own order, level by
  // level, each record once), at most `limit`: near misses when nothing was found.
  Elements closest(std::size_t limit = 5) const;
};

class Chain {
 public:
  explicit Chain(std::vector<Strategy> strategies);

  // DOM (level 1) and Spatial (level 2) for every action that needs an element, then
  // Relaxed (level 3) for the actions it serves.
  static Chain standard();

  // Asks the strategies that serve the instruction's action in order, until one finds an
  // element (its result is resolved).
  ChainAnswer resolve(const ParsedInstruction& parsed, const PageView& page) const;
  // The same on records whose extras are costly to read: `extras` is called, once, only
  // when a strategy that reads them is asked. What it throws ends the resolution.
  ChainAnswer resolve(const ParsedInstruction& parsed, const Elements& elements, const Elements& text_elements,
                      const std::function<const PageExtras&()>& extras) const;

  const std::vector<Strategy>& strategies() const { return strategies_; }

 private:
  std::vector<Strategy> strategies_;
};

// The outcome of a check (a verify or find step) from the chain's answer.
struct Verdict {
  bool passed = false;
  Element element;
  // The observed state, printed under the step; none when there is nothing to show.
  std::optional<Json> state;
};

// Level 1 states its own verdict. An element found by a later strategy is judged from its
// record: an element check by its state {present, visible, enabled}, as the text strategy
// judges one; a text check or a find by being found and its visibility {present,
// visible}; a directional text check by its text against the expected value. Nothing
// found fails, with level 1's state.
Verdict verdict_of(const ParsedInstruction& parsed, const ChainAnswer& answer);

}  // namespace quillfen::runner
