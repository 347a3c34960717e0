// A tab for tests of the step loop, without a browser: its page is a FakePage (what
// scans read), and its acts, navigations, dialogs and keys are scripted by the test and
// logged in order.
//
//   FakeTab tab;
//   tab.page.add({.tag = "button", .text = "Delete"});
//   tab.outcomes = {ActOutcome::blocked("covered"), {}};  // then done
//   tab.after_act = [](FakeTab& t) { t.dialog = Dialog{"confirm", "Sure?", ""}; };
//   ... run steps on it ...
//   EXPECT_THAT(tab.log, ElementsAre("click /html[1]/body[1]/button[1]", ...));
#pragma once

#include "chromium/tab.hpp"
#include "tests/fake_page.hpp"

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quillfen::fake {

class FakeTab : public chromium::Tab {
 public:
  // What the tab's scans read.
  FakePage page;
  // Every act, navigation, key, dialog answer and explicit pause, in order: "click XPATH",
  // "type XPATH Ada", "navigate URL", "press 1 chords", "accept 'Sure?'", "dismiss 'Hi'".
  std::vector<std::string> log;
  // What the next acts on elements (and navigations) come to, in order; done when none is
  // left.
  std::deque<chromium::ActOutcome> outcomes;
  // Runs after each act that is done: the page changes, a dialog opens.
  std::function<void(FakeTab&)> after_act;
  // Runs at each pause: the page changes as time passes.
  std::function<void(FakeTab&)> on_idle;
  // The dialog open now; while one is, page reads fail with PageError of kind dialog.
  std::optional<chromium::Dialog> dialog;
  // Dialogs that open one after the other, each as soon as the one before is answered.
  std::deque<chromium::Dialog> next_dialogs;
  // A dialog that opens with the next act that is not done (it is what blocked it); with
  // `reopen_with_blocked_acts`, with every such act.
  std::optional<chromium::Dialog> dialog_with_blocked_act;
  bool reopen_with_blocked_acts = false;
  // A dialog that opens in the middle of the next page read, which it ends.
  std::optional<chromium::Dialog> dialog_during_read;
  // Every call fails with PageError of this kind (gone: the tab was closed or crashed).
  std::optional<PageError::Kind> lost;
  bool has_crashed = false;
  // Each pause the step loop asked for, however long; a pause really sleeps, at most
  // `longest_sleep`, so that time-outs pass.
  std::vector<std::chrono::milliseconds> pauses;
  std::chrono::milliseconds longest_sleep{20};
  // Page reads so far (one per scan).
  int reads = 0;
  // The checked state of elements by xpath; an element not listed has none. An act of
  // set_checked that is done sets it.
  std::map<std::string, bool> checked;
  // What document.readyState says.
  std::string ready_state = "complete";
  // The page's title.
  std::string page_title = "Fake";
  // What a screenshot answers.
  std::string picture;

  std::vector<ElementHandlePtr> query_selector_all(const std::string& selector) override;
  ElementHandlePtr query_selector(const std::string& selector) override;
  Json evaluate(const std::string& script) override;
  std::string url() override;

  chromium::ActOutcome navigate(const std::string& url_or_path, std::chrono::milliseconds timeout) override;
  chromium::ActOutcome click(const ElementRecord& element, chromium::Clock::time_point deadline,
                             chromium::Click how = {}) override;
  chromium::ActOutcome hover(const ElementRecord& element, chromium::Clock::time_point deadline) override;
  chromium::ActOutcome type(const ElementRecord& element, const std::string& text,
                            chromium::Clock::time_point deadline) override;
  chromium::ActOutcome select(const ElementRecord& element, const std::string& option,
                              chromium::Clock::time_point deadline) override;
  chromium::ActOutcome set_checked(const ElementRecord& element, bool checked,
                                   chromium::Clock::time_point deadline) override;
  std::optional<bool> is_checked(const ElementRecord& element) override;
  chromium::ActOutcome press(const std::vector<chromium::Chord>& chords) override;
  chromium::ActOutcome type_characters(const std::string& characters) override;
  std::optional<chromium::Dialog> open_dialog() override;
  bool wait_for_dialog(std::chrono::milliseconds timeout) override;
  void answer_dialog(bool accept, const std::optional<std::string>& prompt_text = std::nullopt) override;
  void idle(std::chrono::milliseconds duration) override;
  std::string title() override;
  std::string screenshot(const std::optional<BoundingBox>& clip = std::nullopt) override;
  bool crashed() override;

 private:
  // Throws as the tab's state says: lost, or a dialog open (or opening now, for a read).
  void check(bool read);
  chromium::ActOutcome act(const std::string& entry);
};

}  // namespace quillfen::fake
