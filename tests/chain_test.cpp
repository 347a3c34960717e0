// The resolution chain on records in memory: the order of its strategies, what ends it
// (an element found, even in the wrong state) and what does not (nothing found at all),
// which strategies serve which action, and the verdict of a check from its answer.
#include "runner/chain.hpp"

#include "engine/agent/step_reader.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillfen::runner {
namespace {

Element record(std::string tag, std::string text, double x, double y, double w, double h, std::string xpath,
               bool visible = true, bool enabled = true) {
  auto e = std::make_shared<ElementRecord>();
  e->tag = std::move(tag);
  e->text = std::move(text);
  e->bounding_box = BoundingBox{x, y, w, h};
  e->is_visible = visible;
  e->is_enabled = enabled;
  e->xpath = std::move(xpath);
  return e;
}

ParsedInstruction parse(const std::string& line) { return StepReader().parse(line); }

ParsedInstruction instruction(std::string action, std::string target) {
  ParsedInstruction p;
  p.action = std::move(action);
  p.target = std::move(target);
  return p;
}

std::vector<std::string> labels_asked(const ChainAnswer& answer) {
  std::vector<std::string> labels;
  for (const auto& attempt : answer.attempts) labels.push_back(attempt.label);
  return labels;
}

// A strategy that notes that it was asked and answers as it is told.
Strategy scripted(std::string label, int level, std::vector<std::string>& asked, ResolutionResult answer,
                  std::function<bool(std::string_view)> serves = [](std::string_view) { return true; }) {
  return {label, level, std::move(serves),
          [&asked, label, answer](const ParsedInstruction&, const PageView&) {
            asked.push_back(label);
            return answer;
          }};
}

TEST(Chain, AsksLaterStrategiesOnlyWhenNothingAtAllWasFound) {
  const Element near_miss = record("p", "Log in to see prices", 0, 0, 100, 20, "/p[1]");
  const Element wrong_state = record("button", "Log in", 0, 40, 80, 20, "/button[1]", true, false);
  ResolutionResult nothing = ResolutionResult::not_resolved();
  nothing.candidates = {near_miss};
  ResolutionResult unverified = ResolutionResult::found(wrong_state, {wrong_state});
  unverified.verified = false;

  std::vector<std::string> asked;
  const Chain chain({scripted("first", 1, asked, nothing),
                     scripted("clicks only", 2, asked, unverified,
                              [](std::string_view action) { return action == "click"; }),
                     scripted("last", 3, asked, nothing)});
  const Elements none;
  const PageExtras no_extras;
  const PageView page{none, none, no_extras};

  // A found element in the wrong state ends the chain: the last strategy is never asked.
  const ChainAnswer clicked = chain.resolve(instruction("click", "Log in"), page);
  EXPECT_EQ(asked, (std::vector<std::string>{"first", "clicks only"}));
  EXPECT_EQ(clicked.level, 2);
  EXPECT_EQ(clicked.label, "clicks only");
  EXPECT_EQ(clicked.result.element, wrong_state);
  EXPECT_EQ(clicked.result.verified, false);

  // A strategy that does not serve the action is skipped; nothing found anywhere keeps
  // the first strategy's result, and every strategy's near misses.
  asked.clear();
  const ChainAnswer hovered = chain.resolve(instruction("hover", "Log in"), page);
  EXPECT_EQ(asked, (std::vector<std::string>{"first", "last"}));
  EXPECT_FALSE(hovered.found());
  EXPECT_EQ(hovered.label, std::nullopt);
  EXPECT_EQ(hovered.result.candidates, Elements{near_miss});
  EXPECT_EQ(labels_asked(hovered), (std::vector<std::string>{"first", "last"}));
  EXPECT_EQ(hovered.closest(), Elements{near_miss});
  EXPECT_TRUE(hovered.said("last").has_value());
  EXPECT_FALSE(hovered.said("clicks only").has_value());
}

TEST(Chain, ReadsTheExtrasOnlyForAStrategyThatReadsThemAndOnce) {
  const Element found = record("button", "Log in", 0, 40, 80, 20, "/button[1]");
  const Element extra = record("span", "Log in", 0, 40, 80, 20, "/span[1]");
  std::vector<std::string> asked;
  const auto sees_extras = [&asked](std::string label, ResolutionResult answer) {
    return Strategy{label, 3, [](std::string_view) { return true; },
                    [&asked, label, answer](const ParsedInstruction&, const PageView& page) {
                      asked.push_back(label + ":" + std::to_string(page.extras.texts.size()));
                      return answer;
                    },
                    true};
  };
  Strategy blind = sees_extras("blind", ResolutionResult::not_resolved());
  blind.reads_extras = false;
  const Chain chain({blind, sees_extras("first reader", ResolutionResult::not_resolved()),
                     sees_extras("second reader", ResolutionResult::found(found, {found}))});
  const Elements none;
  PageExtras extras;
  extras.texts = {extra};
  int reads = 0;
  const auto read = [&]() -> const PageExtras& {
    ++reads;
    return extras;
  };

  const ChainAnswer answer = chain.resolve(instruction("click", "Log in"), none, none, read);
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(asked, (std::vector<std::string>{"blind:0", "first reader:1", "second reader:1"}));
  EXPECT_EQ(answer.label, "second reader");

  // Found before any strategy that reads them: never read.
  const Chain found_first({scripted("first", 1, asked, ResolutionResult::found(found, {found})),
                           sees_extras("reader", ResolutionResult::not_resolved())});
  reads = 0;
  EXPECT_EQ(found_first.resolve(instruction("click", "Log in"), none, none, read).level, 1);
  EXPECT_EQ(reads, 0);
}

// A small shop: a heading and its button, a total and its amount, a disabled checkout.
class StandardChain : public ::testing::Test {
 protected:
  Elements elements{record("button", "Add to cart", 10, 130, 110, 30, "/html[1]/body[1]/div[1]/button[1]"),
                    record("button", "Add to cart", 10, 330, 110, 30, "/html[1]/body[1]/div[2]/button[1]"),
                    record("button", "Checkout", 10, 500, 100, 30, "/html[1]/body[1]/button[1]", true, false),
                    record("input", "", 10, 560, 20, 20, "/html[1]/body[1]/input[1]", false)};
  Elements texts{record("h3", "Blue Backpack", 10, 100, 200, 24, "/html[1]/body[1]/div[1]/h3[1]"),
                 record("h3", "Red T-Shirt", 10, 300, 200, 24, "/html[1]/body[1]/div[2]/h3[1]"),
                 record("span", "Total", 10, 450, 60, 20, "/html[1]/body[1]/p[1]/span[1]"),
                 record("span", "$29.00", 100, 450, 60, 20, "/html[1]/body[1]/p[1]/span[2]")};
  PageExtras extras;
  Chain chain = Chain::standard();

  ChainAnswer resolve(const ParsedInstruction& parsed) const { return chain.resolve(parsed, {elements, texts, extras}); }
};

TEST_F(StandardChain, LevelsAnswerInOrderAndALaterOneNeverOverrulesAFoundElement) {
  // The amount beside "Total" is found by text, in the wrong state: the check fails and
  // no later strategy is asked.
  const auto parsed = parse(R"(verify text next to "Total" is $30.00)");
  const ChainAnswer total = resolve(parsed);
  EXPECT_EQ(total.level, 1);
  EXPECT_EQ(labels_asked(total), std::vector<std::string>{"DOM"});
  const Verdict wrong = verdict_of(parsed, total);
  EXPECT_FALSE(wrong.passed);
  EXPECT_EQ(wrong.state, (Json{{"expected", "$30.00"}, {"actual", "$29.00"}}));

  // A text that is no text of the page, but a button placed near a heading: level 2, and
  // a find passes on the element found, with its visibility.
  const auto find = parse("find text Add to cart near Red T-Shirt");
  const ChainAnswer near = resolve(find);
  EXPECT_EQ(near.level, 2);
  EXPECT_EQ(near.label, "Spatial");
  EXPECT_EQ(near.result.element, elements[1]);
  const Verdict found = verdict_of(find, near);
  EXPECT_TRUE(found.passed);
  EXPECT_EQ(found.state, (Json{{"present", true}, {"visible", true}}));

  // An element check by place reads the state of the element found.
  const auto enabled = parse(R"(verify button below "Red T-Shirt" is enabled)");
  const Verdict by_place = verdict_of(enabled, resolve(enabled));
  EXPECT_TRUE(by_place.passed);
  EXPECT_EQ(by_place.element, elements[1]);

  const auto disabled_check = parse(R"(verify "Checkout" is enabled)");
  const ChainAnswer checkout = resolve(disabled_check);
  EXPECT_EQ(checkout.level, 1);
  EXPECT_FALSE(verdict_of(disabled_check, checkout).passed);

  // Nothing anywhere: the level-1 result stands, the check fails, all three were asked.
  const auto missing = parse(R"(verify "Launch rocket" is visible)");
  const ChainAnswer none = resolve(missing);
  EXPECT_FALSE(none.found());
  EXPECT_EQ(labels_asked(none), (std::vector<std::string>{"DOM", "Spatial", "Relaxed"}));
  EXPECT_FALSE(verdict_of(missing, none).passed);
}

TEST_F(StandardChain, ServesEachActionWithTheStrategiesMadeForIt) {
  struct Case {
    ParsedInstruction parsed;
    std::vector<std::string> asked;  // on a target that nothing matches
  };
  const std::vector<std::string> all{"DOM", "Spatial", "Relaxed"};
  const std::vector<std::string> engine_only{"DOM", "Spatial"};
  const std::vector<Case> cases{
      {instruction("click", "Launch rocket"), all},
      {instruction("double_click", "Launch rocket"), all},
      {instruction("right_click", "Launch rocket"), all},
      {instruction("check", "Launch rocket"), all},
      {instruction("uncheck", "Launch rocket"), all},
      {instruction("verify_checked", "Launch rocket"), all},
      {instruction("verify_not_visible", "Launch rocket"), all},
      {instruction("verify_text_not_present", "Launch rocket"), all},
      {instruction("find_exact_text", "Launch rocket"), all},
      {instruction("extract_text", "Launch rocket"), engine_only},
      {instruction("extract_text_spatial", "below Launch rocket"), engine_only},
      {instruction("verify_title", "Shop"), {}},
      {instruction("verify_url_contains", "shop"), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.parsed.action);
    EXPECT_EQ(labels_asked(resolve(c.parsed)), c.asked);
  }
  EXPECT_TRUE(needs_no_element("verify_title_contains"));
  EXPECT_FALSE(needs_no_element("click"));

  // An element act resolves as a click does, ordinal included; a state check as a
  // presence check does, so a hidden element is found (and its state decides).
  ParsedInstruction second = instruction("double_click", "Add to cart");
  second.ordinal = 2;
  EXPECT_EQ(resolves_as("double_click"), "click");
  EXPECT_EQ(resolve(second).result.element, elements[1]);
  ParsedInstruction hidden = instruction("verify_not_visible", "Checkout");
  EXPECT_EQ(resolves_as(hidden.action), "verify_present");
  const ChainAnswer checkout = resolve(hidden);
  EXPECT_EQ(checkout.level, 1);
  EXPECT_EQ(checkout.result.element, elements[2]);
}

TEST_F(StandardChain, TheRelaxedLevelAnswersOnlyWhereTheOthersFoundNothing) {
  // A label that names the hidden-by-style check box; the text match does not read
  // labels for clicks, and nothing stands by the label's place.
  const Element label = record("label", "Remember me", 40, 560, 100, 20, "/html[1]/body[1]/label[1]");
  extras.labels.push_back({LabelLink::Kind::for_attribute, elements[3], label});
  const ChainAnswer remember = resolve(parse(R"(click "Remember me")"));
  EXPECT_EQ(remember.level, 3);
  EXPECT_EQ(remember.label, "Relaxed");
  EXPECT_EQ(labels_asked(remember), (std::vector<std::string>{"DOM", "Spatial", "Relaxed"}));
  EXPECT_EQ(remember.result.element, label);

  // Its state is the control's; the control is hidden and the label shown, so the label,
  // which carries the control's enabled state, answers.
  const auto visible = parse(R"(verify "Remember me" is visible)");
  const ChainAnswer state = resolve(visible);
  EXPECT_EQ(state.level, 3);
  const Verdict verdict = verdict_of(visible, state);
  EXPECT_TRUE(verdict.passed);
  EXPECT_EQ(verdict.state, (Json{{"present", true}, {"visible", true}, {"enabled", true}}));

  // "Checkout" is found by text at level 1, disabled: the relaxed level is never asked,
  // even with a label of that name in the extras.
  extras.labels.push_back({LabelLink::Kind::for_attribute, elements[3],
                           record("label", "Checkout", 40, 600, 100, 20, "/html[1]/body[1]/label[2]")});
  const ChainAnswer checkout = resolve(parse(R"(click "Checkout")"));
  EXPECT_EQ(checkout.level, 1);
  EXPECT_EQ(checkout.result.element, elements[2]);

  // A control's text without its control (a scan that read the texts after the button
  // came, and the controls before): not plain text to click, so the step looks again.
  texts.push_back(record("button", "Load more", 10, 620, 100, 30, "/html[1]/body[1]/button[2]"));
  EXPECT_FALSE(resolve(parse(R"(click "Load more")")).found());
  texts.push_back(record("p", "Load more soon", 10, 660, 200, 20, "/html[1]/body[1]/p[2]"));
  EXPECT_EQ(resolve(parse(R"(click "Load more")")).level, 3);
}

}  // namespace
}  // namespace quillfen::runner
