#include "tests/fake_tab.hpp"

#include "engine/core/text.hpp"

#include <algorithm>
#include <thread>

namespace quillfen::fake {

using chromium::ActOutcome;

void FakeTab::check(bool read) {
  if (lost) throw PageError("the fake tab is lost", *lost);
  if (read && !dialog && dialog_during_read) {
    dialog = std::move(dialog_during_read);
    dialog_during_read.reset();
  }
  if (dialog) throw PageError("a dialog is open on the fake tab", PageError::Kind::dialog);
}

ActOutcome FakeTab::act(const std::string& entry) {
  check(false);
  log.push_back(entry);
  ActOutcome outcome;
  if (!outcomes.empty()) {
    outcome = outcomes.front();
    outcomes.pop_front();
  }
  if (outcome.done() && after_act) after_act(*this);
  if (!outcome.done() && dialog_with_blocked_act) {
    dialog = dialog_with_blocked_act;
    if (!reopen_with_blocked_acts) dialog_with_blocked_act.reset();
  }
  return outcome;
}

std::vector<ElementHandlePtr> FakeTab::query_selector_all(const std::string& selector) {
  ++reads;
  check(true);
  return page.query_selector_all(selector);
}

ElementHandlePtr FakeTab::query_selector(const std::string& selector) {
  check(true);
  return page.query_selector(selector);
}

Json FakeTab::evaluate(const std::string& script) {
  check(true);
  if (script.find("document.readyState") != std::string::npos) return ready_state;
  return page.evaluate(script);
}

std::string FakeTab::url() {
  check(true);
  return page.url();
}

ActOutcome FakeTab::navigate(const std::string& url_or_path, std::chrono::milliseconds) {
  return act("navigate " + url_or_path);
}

ActOutcome FakeTab::click(const ElementRecord& element, chromium::Clock::time_point, chromium::Click how) {
  const std::string kind = how.button == chromium::MouseButton::right ? "right click "
                           : how.count == 2                            ? "double click "
                                                                       : "click ";
  return act(kind + element.xpath);
}

ActOutcome FakeTab::hover(const ElementRecord& element, chromium::Clock::time_point) {
  return act("hover " + element.xpath);
}

ActOutcome FakeTab::type(const ElementRecord& element, const std::string& text, chromium::Clock::time_point) {
  return act("type " + element.xpath + " " + text);
}

ActOutcome FakeTab::select(const ElementRecord& element, const std::string& option, chromium::Clock::time_point) {
  return act("select " + element.xpath + " " + option);
}

ActOutcome FakeTab::set_checked(const ElementRecord& element, bool wanted, chromium::Clock::time_point) {
  ActOutcome outcome = act((wanted ? "check " : "uncheck ") + element.xpath);
  if (outcome.done()) checked[element.xpath] = wanted;
  return outcome;
}

std::optional<bool> FakeTab::is_checked(const ElementRecord& element) {
  check(true);
  const auto found = checked.find(element.xpath);
  if (found == checked.end()) return std::nullopt;
  return found->second;
}

ActOutcome FakeTab::press(const std::vector<chromium::Chord>& chords) {
  return act("press " + std::to_string(chords.size()) + " chords");
}

ActOutcome FakeTab::type_characters(const std::string& characters) { return act("sendkeys " + characters); }

std::optional<chromium::Dialog> FakeTab::open_dialog() { return dialog; }

bool FakeTab::wait_for_dialog(std::chrono::milliseconds) { return dialog.has_value(); }

void FakeTab::answer_dialog(bool accept, const std::optional<std::string>&) {
  if (lost) throw PageError("the fake tab is lost", *lost);
  if (!dialog) return;
  log.push_back((accept ? "accept " : "dismiss ") + text::quoted(dialog->message));
  dialog.reset();
  if (!next_dialogs.empty()) {
    dialog = next_dialogs.front();
    next_dialogs.pop_front();
  }
}

void FakeTab::idle(std::chrono::milliseconds duration) {
  if (lost) throw PageError("the fake tab is lost", *lost);
  pauses.push_back(duration);
  std::this_thread::sleep_for(std::clamp(duration, std::chrono::milliseconds::zero(), longest_sleep));
  if (on_idle) on_idle(*this);
}

std::string FakeTab::title() {
  check(true);
  return page_title;
}

std::string FakeTab::screenshot(const std::optional<BoundingBox>&) {
  check(true);
  return picture;
}

bool FakeTab::crashed() { return has_crashed; }

}  // namespace quillfen::fake
