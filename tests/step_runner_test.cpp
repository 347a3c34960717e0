// The step loop on a fake tab: what it retries and what it fails at once, how it holds,
// answers and dismisses dialogs, that a lost tab ends the script, what each step's
// outcome record says, and how a stop asked for ends the script.
#include "runner/step_runner.hpp"
#include "tests/fake_tab.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sstream>

namespace quillfen::runner {
namespace {

using chromium::ActOutcome;
using chromium::Dialog;
using fake::box;
using fake::FakeTab;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using namespace std::chrono_literals;

const std::string SAVE = "/html[1]/body[1]/button[1]";
const std::string DELETE = "/html[1]/body[1]/button[2]";

class StepLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    tab.page.add({.tag = "button", .text = "Save", .box = box(10, 10, 80, 20)});
    tab.page.add({.tag = "button", .text = "Delete", .box = box(10, 40, 80, 20)});
  }

  std::vector<StepOutcome> run(const std::vector<std::string>& lines) {
    std::vector<ScriptStep> steps;
    for (const auto& line : lines) steps.push_back({static_cast<int>(steps.size()) + 1, line});
    StepRunner runner(tab, reporter, console, "/scripts", settings, stop);
    return runner.run_all(steps);
  }

  int count(const std::string& entry) const { return static_cast<int>(std::count(tab.log.begin(), tab.log.end(), entry)); }

  FakeTab tab;
  std::ostringstream out;
  Reporter reporter{out, "2024-05-01 10:00:00"};
  Console console{out, false};
  StepSettings settings{300ms, 10ms};
  StopRequest stop = never_stop();
};

TEST_F(StepLoop, RetriesABlockedActAndFailsAnUnsuitableOneAtOnce) {
  const std::string covered = "<button> 'Save' is covered by <div#toast>";
  tab.outcomes = {ActOutcome::blocked(covered), ActOutcome::blocked(covered), {}};
  auto cases = run({"click \"Save\""});
  EXPECT_EQ(cases.at(0).reason, std::nullopt) << out.str();
  EXPECT_EQ(count("click " + SAVE), 3);
  // Each try reads the page afresh.
  EXPECT_GE(tab.reads, 3);
  EXPECT_THAT(out.str(), HasSubstr("  [PASS] click \"Save\"  (via DOM)\n"));

  // Still blocked at the time-out: the step fails with the last reason.
  tab.log.clear();
  tab.outcomes.assign(1000, ActOutcome::blocked(covered));
  cases = run({"click \"Save\""});
  EXPECT_EQ(cases.at(0).reason, covered);
  EXPECT_GE(count("click " + SAVE), 2);
  EXPECT_THAT(out.str(), HasSubstr("  [FAIL] click \"Save\"\n"));
  EXPECT_THAT(out.str(), HasSubstr("         note    : " + covered + "\n"));

  // Unsuitable: one try, no waiting.
  tab.log.clear();
  tab.pauses.clear();
  tab.outcomes = {ActOutcome::unsuitable("<button> 'Save' is not a field one can type into")};
  cases = run({"type Ada into \"Save\""});
  EXPECT_EQ(cases.at(0).reason, "<button> 'Save' is not a field one can type into");
  EXPECT_THAT(tab.log, ElementsAre("type " + SAVE + " Ada"));
  EXPECT_TRUE(tab.pauses.empty());
}

TEST_F(StepLoop, HoldsADialogUntilAStepAnswersIt) {
  tab.after_act = [](FakeTab& t) {
    t.dialog = Dialog{"confirm", "Delete report.pdf?", ""};
    t.after_act = nullptr;
  };
  const auto cases = run({"click \"Delete\"", "wait 50", "verify dialog says delete REPORT.pdf", "accept dialog",
                          "accept dialog"});
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(cases.at(i).reason, std::nullopt) << cases.at(i).instruction << out.str();
  EXPECT_EQ(cases.at(4).reason, "no dialog is open");
  // The pause did not dismiss the dialog; the step that answers it did.
  EXPECT_THAT(tab.log, ElementsAre("click " + DELETE, "accept 'Delete report.pdf?'"));
  EXPECT_THAT(tab.pauses, ::testing::Contains(50ms));
  EXPECT_EQ(out.str().find("dismissed"), std::string::npos) << out.str();
}

TEST_F(StepLoop, DismissesEachDialogNoStepAnswersWithANote) {
  // Three alerts in a row from one click, then another step.
  tab.after_act = [](FakeTab& t) {
    t.dialog = Dialog{"alert", "One", ""};
    t.next_dialogs = {Dialog{"alert", "Two", ""}, Dialog{"alert", "Three", ""}};
    t.after_act = nullptr;
  };
  auto cases = run({"click \"Delete\"", "click \"Save\""});
  EXPECT_EQ(cases.at(1).reason, std::nullopt) << out.str();
  EXPECT_THAT(tab.log, ElementsAre("click " + DELETE, "dismiss 'One'", "dismiss 'Two'", "dismiss 'Three'",
                                   "click " + SAVE));
  EXPECT_THAT(out.str(), HasSubstr("         note    : dismissed the alert 'One' that no step answered\n"
                                   "         note    : dismissed the alert 'Two' that no step answered\n"
                                   "         note    : dismissed the alert 'Three' that no step answered\n"
                                   "  [PASS] click \"Save\"  (via DOM)\n"));

  // A dialog that a page timer opens in the middle of a page read: dismissed, and the
  // page read again.
  tab.log.clear();
  tab.dialog_during_read = Dialog{"alert", "Timer", ""};
  cases = run({"verify \"Save\" is present"});
  EXPECT_EQ(cases.at(0).reason, std::nullopt) << out.str();
  EXPECT_THAT(tab.log, ElementsAre("dismiss 'Timer'"));
  EXPECT_THAT(out.str(), HasSubstr("note    : dismissed the alert 'Timer' that no step answered\n"
                                   "  [PASS] verify \"Save\" is present\n"));

  // One that an act meets before its decisive input (a focus handler's alert while
  // clicking into a field): the act is blocked by it, the dialog dismissed, and the act
  // tried again.
  tab.log.clear();
  tab.outcomes = {ActOutcome::blocked("a dialog opened while typing: 'Focus!'"), {}};
  tab.dialog_with_blocked_act = Dialog{"alert", "Focus!", ""};
  cases = run({"type Ada into \"Save\""});
  EXPECT_EQ(cases.at(0).reason, std::nullopt) << out.str();
  EXPECT_THAT(tab.log, ElementsAre("type " + SAVE + " Ada", "dismiss 'Focus!'", "type " + SAVE + " Ada"));

  // One that keeps coming back fails the step at the time-out, naming the dialog.
  tab.outcomes.assign(1000, ActOutcome::blocked("a dialog opened while typing: 'Focus!'"));
  tab.dialog_with_blocked_act = Dialog{"alert", "Focus!", ""};
  tab.reopen_with_blocked_acts = true;
  cases = run({"type Ada into \"Save\""});
  EXPECT_EQ(cases.at(0).reason, "a dialog opened while typing: 'Focus!'");

  // A dialog still open when the script ends is dismissed, with a note.
  tab.reopen_with_blocked_acts = false;
  tab.dialog = Dialog{"alert", "Bye", ""};
  tab.log.clear();
  run({"wait 1"});
  EXPECT_THAT(tab.log, ElementsAre("dismiss 'Bye'"));
}

TEST_F(StepLoop, FailsTheRestOfTheScriptOnceTheTabIsLost) {
  for (const bool crash : {false, true}) {
    SCOPED_TRACE(crash ? "crashed" : "closed");
    tab.log.clear();
    tab.lost.reset();
    tab.has_crashed = false;
    tab.after_act = [crash](FakeTab& t) {
      t.lost = PageError::Kind::gone;
      t.has_crashed = crash;
    };
    const auto cases = run({"click \"Save\"", "verify \"Save\" is present", "click \"Save\"", "navigate a.html"});
    ASSERT_EQ(cases.size(), 4u);
    EXPECT_EQ(cases[0].reason, std::nullopt);
    const std::string lost = crash ? "the browser tab crashed" : "the page stopped answering (the fake tab is lost)";
    EXPECT_EQ(cases[1].reason, lost);
    EXPECT_EQ(cases[2].reason, "not run: " + lost);
    EXPECT_EQ(cases[3].reason, "not run: " + lost);
    // Nothing was tried on the lost tab after the first step.
    EXPECT_THAT(tab.log, ElementsAre("click " + SAVE));
  }
  EXPECT_EQ(reporter.results.size(), 8u);
}

TEST_F(StepLoop, RunsStepsThatNeedNoElementDirectly) {
  tab.longest_sleep = 0ms;
  tab.outcomes = {ActOutcome::unsuitable("no answer within 10000 ms")};
  const auto cases = run({"navigate http://127.0.0.1:9/slow", "navigate shop/cart.html?x=1#top",
                          "wait 600000", "press Control+A Backspace", "sendkeys hi", "press Hyperspace"});
  EXPECT_EQ(cases.at(0).reason, "cannot open http://127.0.0.1:9/slow: no answer within 10000 ms");
  // The tab is still used for the next steps.
  for (std::size_t i = 1; i < 5; ++i) EXPECT_EQ(cases.at(i).reason, std::nullopt) << cases.at(i).instruction;
  EXPECT_THAT(cases.at(5).reason.value_or(""), HasSubstr("unknown key 'Hyperspace'"));
  EXPECT_THAT(tab.log, ElementsAre("navigate http://127.0.0.1:9/slow", "navigate file:///scripts/shop/cart.html?x=1#top",
                                   "press 2 chords", "sendkeys hi"));
  // The longest pause is asked of the tab in whole, in slices between which the loop can
  // be stopped.
  std::chrono::milliseconds paused{0};
  for (const auto pause : tab.pauses) paused += pause;
  EXPECT_EQ(paused, std::chrono::milliseconds{600000});
}

TEST_F(StepLoop, PerformsTheNewActsAsClickResolvesThem) {
  struct Case {
    std::string line;
    std::string act;
  };
  const std::vector<Case> cases = {
      {"double click \"Save\"", "double click " + SAVE},
      {"double-click second button", "double click " + DELETE},
      {"right click \"Delete\"", "right click " + DELETE},
      {"right-click the Save button", "right click " + SAVE},
      {"check \"Save\"", "check " + SAVE},
      {"uncheck \"Delete\"", "uncheck " + DELETE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    tab.log.clear();
    const auto results = run({c.line});
    EXPECT_EQ(results.at(0).reason, std::nullopt) << out.str();
    EXPECT_THAT(tab.log, ElementsAre(c.act));
  }
  EXPECT_THAT(out.str(), HasSubstr("  [PASS] double click \"Save\"  (via DOM)\n"));

  // A box that cannot take the act fails at once with the tab's reason; one that is
  // blocked (a click that did not change the state) is tried again.
  tab.log.clear();
  tab.pauses.clear();
  tab.outcomes = {ActOutcome::unsuitable("<button> 'Save' is not a check box, radio or switch")};
  auto results = run({"check \"Save\""});
  EXPECT_EQ(results.at(0).reason, "<button> 'Save' is not a check box, radio or switch");
  EXPECT_THAT(tab.log, ElementsAre("check " + SAVE));
  EXPECT_TRUE(tab.pauses.empty());
  tab.log.clear();
  tab.outcomes = {ActOutcome::blocked("clicking <input> did not uncheck it"), {}};
  results = run({"uncheck \"Save\""});
  EXPECT_EQ(results.at(0).reason, std::nullopt);
  EXPECT_THAT(tab.log, ElementsAre("uncheck " + SAVE, "uncheck " + SAVE));
}

TEST_F(StepLoop, ReadsTheLiveCheckedStateOfTheElementFound) {
  tab.checked[SAVE] = true;
  struct Case {
    std::string line;
    std::optional<std::string> failure;
  };
  const std::vector<Case> cases = {
      {"verify \"Save\" is checked", std::nullopt},
      {"verify \"Save\" is not checked", "<button> 'Save' is checked"},
      {"verify \"Save\" is unchecked", "<button> 'Save' is checked"},
      {"verify \"Delete\" is checked",
       "<button> 'Delete' has no checked state (it is not a check box, radio or switch)"},
      {"verify \"Basket\" is checked", "no element matches 'Basket'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(run({c.line}).at(0).reason, c.failure) << out.str();
  }
  EXPECT_THAT(out.str(), HasSubstr("  [FAIL] verify \"Save\" is not checked\n"
                                   "         state : {'present': True, 'checked': True}\n"
                                   "         note    : <button> 'Save' is checked\n"));

  // The state is read again until it holds: a box that becomes unchecked a moment later.
  tab.on_idle = [](FakeTab& t) {
    if (t.pauses.size() == 3) t.checked[SAVE] = false;
  };
  tab.pauses.clear();
  EXPECT_EQ(run({"verify \"Save\" is unchecked"}).at(0).reason, std::nullopt) << out.str();
  EXPECT_EQ(tab.pauses.size(), 3u);
}

TEST_F(StepLoop, PassesANegationOnlyOnAStillLoadedPageWhereItHolds) {
  tab.page.add({.tag = "button", .attributes = {{"aria-label", "Close"}}, .visible = false});
  tab.page.add({.tag = "p", .text = "Welcome back", .box = box(10, 80, 200, 20)});
  struct Case {
    std::string line;
    std::optional<std::string> failure;
  };
  const std::vector<Case> cases = {
      {"verify \"Save\" is not visible", "<button> 'Save' is visible"},
      {"verify \"Save\" is hidden", "<button> 'Save' is visible"},
      {"verify \"Close\" is not visible", std::nullopt},
      {"verify \"Close\" is not present", "<button> 'Close' is on the page, hidden"},
      {"verify \"Basket\" is not present", std::nullopt},
      {"verify \"Basket\" is hidden", std::nullopt},
      // Text that no element check reads still makes an element negation fail.
      {"verify \"welcome  BACK\" is not visible", "the text 'welcome  BACK' is visible in <p> 'Welcome back'"},
      {"verify text back is not visible", "the text 'back' is visible in <p> 'Welcome back'"},
      {"verify text Welcome is not present", "the text 'Welcome' is on the page in <p> 'Welcome back'"},
      {"verify text Goodbye is not present", std::nullopt},
      {"verify text Goodbye is not visible", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    tab.pauses.clear();
    EXPECT_EQ(run({c.line}).at(0).reason, c.failure) << out.str();
    // A pass is seen on two reads with a pause between them.
    if (!c.failure) {
      EXPECT_EQ(tab.pauses.size(), 1u);
    }
  }
  EXPECT_THAT(out.str(), HasSubstr("  [PASS] verify \"Basket\" is not present\n"
                                   "         state : {'present': False}\n"));
  EXPECT_THAT(out.str(), HasSubstr("  [FAIL] verify \"Save\" is hidden\n"
                                   "         state : {'present': True, 'visible': True}\n"
                                   "         note    : <button> 'Save' is visible\n"));

  // A page that is still loading is waited for; one that never finishes fails the step.
  tab.ready_state = "loading";
  tab.on_idle = [](FakeTab& t) {
    if (t.pauses.size() == 4) t.ready_state = "complete";
  };
  tab.pauses.clear();
  EXPECT_EQ(run({"verify \"Basket\" is not present"}).at(0).reason, std::nullopt);
  EXPECT_EQ(tab.pauses.size(), 5u);
  tab.ready_state = "loading";
  tab.on_idle = nullptr;
  EXPECT_EQ(run({"verify \"Basket\" is not present"}).at(0).reason,
            "the page had not finished loading until the time-out, so it cannot be told that this is not there");

  // A page that keeps changing never shows the negation for sure.
  tab.ready_state = "complete";
  tab.on_idle = [](FakeTab& t) { t.page.add({.tag = "button", .text = "More"}); };
  EXPECT_EQ(run({"verify \"Basket\" is not present"}).at(0).reason,
            "the page kept changing until the time-out, so it cannot be told that this is not there");

  // An element that goes away a moment later: the negation waits for it.
  tab.on_idle = [](FakeTab& t) {
    if (t.pauses.size() != 2) return;
    t.page = fake::FakePage();
    t.page.add({.tag = "button", .text = "Save", .box = box(10, 10, 80, 20)});
  };
  tab.pauses.clear();
  EXPECT_EQ(run({"verify \"Delete\" is not present"}).at(0).reason, std::nullopt) << out.str();
  EXPECT_EQ(tab.pauses.size(), 3u);
}

TEST_F(StepLoop, ChecksTheTitleAndAddressUntilTheyHold) {
  tab.page_title = "Cart \u2022 Tiny Shop";
  tab.page.address = "https://shop.test/search?q=red%20shirt#/active";
  struct Case {
    std::string line;
    std::optional<std::string> failure;
  };
  const std::vector<Case> cases = {
      {"verify title is cart \u2022 tiny   SHOP", std::nullopt},
      {"verify title is Tiny Shop", "the title is 'Cart \u2022 Tiny Shop', not 'Tiny Shop'"},
      {"verify title contains TINY", std::nullopt},
      {"verify title contains Checkout", "the title 'Cart \u2022 Tiny Shop' does not contain 'Checkout'"},
      {"verify url contains #/active", std::nullopt},
      {"verify url contains q=red shirt", std::nullopt},
      {"verify url contains /Search",
       "the address https://shop.test/search?q=red%20shirt#/active does not contain '/Search'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(run({c.line}).at(0).reason, c.failure) << out.str();
  }
  EXPECT_THAT(out.str(), HasSubstr("  [FAIL] verify title is Tiny Shop\n"
                                   "         state : {'expected': 'Tiny Shop', 'actual': 'Cart \u2022 Tiny Shop'}\n"
                                   "         note    : the title is 'Cart \u2022 Tiny Shop', not 'Tiny Shop'\n"));

  // A title that a script sets a moment later is waited for.
  tab.on_idle = [](FakeTab& t) {
    if (t.pauses.size() == 2) t.page_title = "Checkout";
  };
  tab.pauses.clear();
  EXPECT_EQ(run({"verify title is Checkout"}).at(0).reason, std::nullopt);
  EXPECT_EQ(tab.pauses.size(), 2u);
}

TEST_F(StepLoop, EachOutcomeSaysWhatTheStepUsedAndHowItWasFound) {
  Console verbose{out, true};
  std::vector<ScriptStep> steps;
  for (const std::string line : {"click \"Save\"", "click button below \"Save\"", "verify \"Delete\" is present",
                                 "click \"Save draft\"", "wait 10", "frobnicate now"}) {
    steps.push_back({static_cast<int>(steps.size()) + 2, line});
  }
  const auto outcomes = StepRunner(tab, reporter, verbose, "/scripts", settings, stop).run_all(steps);
  ASSERT_EQ(outcomes.size(), 6u) << out.str();
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    EXPECT_EQ(outcomes[i].line, static_cast<int>(i) + 2);
    EXPECT_EQ(outcomes[i].instruction, steps[i].text);
    EXPECT_GE(outcomes[i].duration.count(), 0.0);
  }

  struct Expected {
    StepStatus status;
    std::optional<std::string> strategy;
    std::optional<int> level;
    std::optional<std::string> xpath;
    std::optional<std::string> anchor;
  };
  const std::vector<Expected> expected{
      {StepStatus::passed, "DOM", 1, SAVE, std::nullopt},
      {StepStatus::passed, "Spatial", 2, DELETE, "Save"},
      {StepStatus::passed, "DOM-verify", 1, DELETE, std::nullopt},
      {StepStatus::failed, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
      {StepStatus::passed, "direct", std::nullopt, std::nullopt, std::nullopt},
      {StepStatus::failed, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
  };
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(steps[i].text);
    const StepOutcome& o = outcomes[i];
    EXPECT_EQ(o.status, expected[i].status);
    EXPECT_EQ(o.strategy, expected[i].strategy);
    EXPECT_EQ(o.level, expected[i].level);
    EXPECT_EQ(o.element ? std::optional<std::string>(o.element->xpath) : std::nullopt, expected[i].xpath);
    EXPECT_EQ(o.anchor, expected[i].anchor);
    EXPECT_EQ(o.passed(), !o.reason.has_value()) << o.reason.value_or("");
  }
  EXPECT_EQ(outcomes[0].action, "click");
  EXPECT_EQ(outcomes[0].element->tag, "button");
  EXPECT_EQ(outcomes[0].element->text, "Save");
  ASSERT_TRUE(outcomes[0].element->box);
  EXPECT_EQ(outcomes[0].element->box->y, 10);
  // A check keeps the state it observed.
  ASSERT_TRUE(outcomes[2].state);
  EXPECT_EQ(outcomes[2].state->value("present", false), true);
  // Nothing matched: the element that comes closest in words is named, and the reason
  // is the reporter's.
  ASSERT_FALSE(outcomes[3].candidates.empty());
  EXPECT_EQ(outcomes[3].candidates[0].text, "Save");
  EXPECT_THAT(outcomes[3].reason.value_or(""), HasSubstr("no element matches"));
  // A line that cannot be read has no action and says why.
  EXPECT_EQ(outcomes[5].action, "");
  EXPECT_FALSE(outcomes[5].reason.value_or("").empty());

  // The reporter's lines are as they always were; the details follow each with --verbose.
  EXPECT_THAT(out.str(), HasSubstr("  [PASS] click \"Save\"  (via DOM)\n"
                                   "         element : <button> 'Save' at " + SAVE + "\n"
                                   "         via     : DOM (level 1)\n"));
  EXPECT_THAT(out.str(), HasSubstr("  [PASS] click button below \"Save\"  (via Spatial)\n"
                                   "         element : <button> 'Delete' at " + DELETE + "\n"
                                   "         via     : Spatial (level 2)\n"
                                   "         anchor  : 'Save'\n"));
  EXPECT_THAT(out.str(), HasSubstr("         nearest : <button> 'Save' at " + SAVE + "\n"));
  EXPECT_EQ(reporter.results.size(), 6u);

  // Without --verbose only the reporter's lines and the notes are printed.
  out.str("");
  run({"click \"Save\""});
  EXPECT_EQ(out.str(), "  [PASS] click \"Save\"  (via DOM)\n");
}

TEST_F(StepLoop, AStopEndsTheStepUnderWayAndMarksTheRestNotRun) {
  // Asked between steps: the step that was done stays passed.
  bool stopping = false;
  stop = [&stopping] { return stopping ? std::optional<int>(SIGTERM) : std::nullopt; };
  tab.after_act = [&stopping](FakeTab&) { stopping = true; };
  auto outcomes = run({"click \"Save\"", "click \"Delete\"", "wait 10"});
  ASSERT_EQ(outcomes.size(), 3u);
  EXPECT_EQ(outcomes[0].status, StepStatus::passed);
  for (std::size_t i = 1; i < 3; ++i) {
    EXPECT_EQ(outcomes[i].status, StepStatus::not_run);
    EXPECT_EQ(outcomes[i].reason, "not run: the run was interrupted (SIGTERM)");
  }
  EXPECT_THAT(tab.log, ElementsAre("click " + SAVE));
  // Each step still has its line with the reporter, and the reason under it.
  EXPECT_THAT(out.str(), HasSubstr("  [FAIL] wait 10\n         note    : not run: the run was interrupted (SIGTERM)\n"));

  // Asked during a long wait: the wait ends early and fails, naming the signal.
  stopping = false;
  tab.after_act = nullptr;
  tab.longest_sleep = 0ms;
  stop = [this] { return tab.pauses.size() >= 3 ? std::optional<int>(SIGINT) : std::nullopt; };
  outcomes = run({"wait 600000", "click \"Save\""});
  EXPECT_EQ(outcomes[0].status, StepStatus::failed);
  EXPECT_EQ(outcomes[0].reason, "the run was interrupted (SIGINT) during the wait");
  EXPECT_EQ(outcomes[1].status, StepStatus::not_run);
  EXPECT_EQ(tab.pauses.size(), 3u);

  // Asked while a step retries: it gives up before its time-out, with the reason.
  settings.timeout = 60s;
  const int reads = tab.reads;
  stop = [this, reads] { return tab.reads >= reads + 2 ? std::optional<int>(SIGTERM) : std::nullopt; };
  outcomes = run({"verify \"Nothing\" is present"});
  EXPECT_EQ(outcomes[0].status, StepStatus::failed);
  EXPECT_EQ(outcomes[0].reason, "the run was interrupted (SIGTERM) before the check held");
  // It stopped at once, not after a minute of retries.
  EXPECT_LE(tab.reads, reads + 4);
}

}  // namespace
}  // namespace quillfen::runner
