#include "runner/chain.hpp"

#include "engine/core/text.hpp"
#include "engine/spatial/layout_mapper.hpp"
#include "engine/spatial/relation_solver.hpp"
#include "engine/strategies/lexical_tier.hpp"
#include "runner/relaxed_strategy.hpp"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <unordered_set>
#include <utility>

namespace quillfen::runner {

namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 10> kResolvedAs{{
    {"double_click", "click"},
    {"right_click", "click"},
    {"check", "click"},
    {"uncheck", "click"},
    {"verify_checked", "verify_present"},
    {"verify_unchecked", "verify_present"},
    {"verify_not_visible", "verify_present"},
    {"verify_not_present", "verify_present"},
    {"verify_text_not_visible", "verify_text_present"},
    {"verify_text_not_present", "verify_text_present"},
}};

constexpr std::array<std::string_view, 3> kNoElement{"verify_title", "verify_title_contains", "verify_url_contains"};

// The instruction as the engine's strategies know it.
ParsedInstruction as_known(const ParsedInstruction& parsed) {
  ParsedInstruction known = parsed;
  known.action = std::string(resolves_as(parsed.action));
  return known;
}

bool takes_an_element(std::string_view action) { return !needs_no_element(action); }

// Everything that was found, read from the record: present, and as visible and enabled
// as the record says.
Json element_state(const ElementRecord& e) {
  return Json{{"present", true}, {"visible", e.is_visible}, {"enabled", e.is_enabled}};
}

Json text_state(const ElementRecord& e) { return Json{{"present", true}, {"visible", e.is_visible}}; }

}  // namespace

std::string_view resolves_as(std::string_view action) {
  for (const auto& [name, known] : kResolvedAs) {
    if (name == action) return known;
  }
  return action;
}

bool needs_no_element(std::string_view action) {
  return std::find(kNoElement.begin(), kNoElement.end(), action) != kNoElement.end();
}

std::optional<ResolutionResult> ChainAnswer::said(std::string_view label) const {
  for (const Attempt& attempt : attempts) {
    if (attempt.label == label) return attempt.result;
  }
  return std::nullopt;
}

Elements ChainAnswer::closest(std::size_t limit) const {
  Elements out;
  std::unordered_set<const ElementRecord*> taken;
  for (const Attempt& attempt : attempts) {
    for (const Element& candidate : attempt.result.candidates) {
      if (out.size() == limit) return out;
      if (candidate && taken.insert(candidate.get()).second) out.push_back(candidate);
    }
  }
  return out;
}

Chain::Chain(std::vector<Strategy> strategies) : strategies_(std::move(strategies)) {}

Chain Chain::standard() {
  std::vector<Strategy> strategies;
  strategies.push_back({"DOM", 1, takes_an_element, [](const ParsedInstruction& parsed, const PageView& page) {
                          return LexicalTier().resolve(as_known(parsed), page.elements, &page.text_elements);
                        }});
  strategies.push_back({"Spatial", 2, takes_an_element, [](const ParsedInstruction& parsed, const PageView& page) {
                          const RelationSolver solver(LayoutMapper(page.elements, page.text_elements).build());
                          return solver.resolve(as_known(parsed));
                        }});
  strategies.push_back({std::string(relaxed::LABEL), relaxed::LEVEL, relaxed_serves, resolve_relaxed, true});
  return Chain(std::move(strategies));
}

ChainAnswer Chain::resolve(const ParsedInstruction& parsed, const PageView& page) const {
  return resolve(parsed, page.elements, page.text_elements, [&page]() -> const PageExtras& { return page.extras; });
}

ChainAnswer Chain::resolve(const ParsedInstruction& parsed, const Elements& elements, const Elements& text_elements,
                           const std::function<const PageExtras&()>& extras) const {
  static const PageExtras no_extras;
  const PageExtras* read = nullptr;
  ChainAnswer answer;
  for (const Strategy& strategy : strategies_) {
    if (!strategy.serves(parsed.action)) continue;
    if (strategy.reads_extras && !read) read = &extras();
    const PageView page{elements, text_elements, strategy.reads_extras ? *read : no_extras};
    answer.attempts.push_back({strategy.label, strategy.level, strategy.resolve(parsed, page)});
    const Attempt& attempt = answer.attempts.back();
    if (attempt.result.resolved) {
      answer.level = attempt.level;
      answer.label = attempt.label;
      answer.result = attempt.result;
      return answer;
    }
  }
  if (!answer.attempts.empty()) answer.result = answer.attempts.front().result;
  return answer;
}

Verdict verdict_of(const ParsedInstruction& parsed, const ChainAnswer& answer) {
  const ResolutionResult& result = answer.result;
  if (!answer.found() || answer.level == 1) {
    return {result.resolved && result.verified.value_or(true), result.element, result.state};
  }
  if (!result.element) return {false, nullptr, result.state};
  const ElementRecord& e = *result.element;
  const std::string_view action = parsed.action;
  Verdict verdict{false, result.element, std::nullopt};
  if (action == "verify_present" || action == "verify_visible" || action == "verify_enabled" ||
      action == "verify_disabled") {
    verdict.state = element_state(e);
    verdict.passed = action == "verify_present"   ? true
                     : action == "verify_visible" ? e.is_visible
                     : action == "verify_enabled" ? e.is_enabled
                                                  : !e.is_enabled;
  } else if (action == "verify_text_present" || action == "verify_text_visible" || action == "find_text" ||
             action == "find_exact_text") {
    verdict.state = text_state(e);
    verdict.passed = action == "verify_text_visible" ? e.is_visible : true;
  } else if (action == "verify_spatial_text") {
    const std::string expected = parsed.value.value_or("");
    const std::string actual = text::trim(e.text);
    verdict.state = Json{{"expected", expected}, {"actual", actual}};
    verdict.passed = lexical_tier::_amounts_agree(expected, actual);
  } else {
    throw std::invalid_argument("no verdict is known for the action " + text::quoted(action));
  }
  return verdict;
}

}  // namespace quillfen::runner
