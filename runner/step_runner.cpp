#include "runner/step_runner.hpp"

#include "engine/browser/settings.hpp"
#include "engine/core/file_writer.hpp"
#include "engine/core/text.hpp"
#include "runner/details.hpp"
#include "runner/near_misses.hpp"
#include "runner/page_checks.hpp"

#include <cstdint>
#include <ostream>
#include <string_view>

namespace quillfen::runner {
namespace {

// An address that starts with a URL scheme ("https:", "file:", "about:") is used as it is.
bool has_url_scheme(std::string_view target) {
  const auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (target.empty() || !alpha(target[0])) return false;
  for (std::size_t i = 1; i < target.size(); ++i) {
    const char c = target[i];
    if (c == ':') return true;
    if (!alpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '.' && c != '-') return false;
  }
  return false;
}

using chromium::ActOutcome;
using chromium::Clock;
using chromium::deadline_after;

// The document's loading state: "loading", "interactive" or "complete".
constexpr std::string_view READY_STATE_SCRIPT = "() => document.readyState";

// A page load may take this long however short the steps' time-out is: the 30 s that
// Playwright gives a navigation. The load is the browser's own work, and a large page
// takes more than 10 s of it on a small machine.
constexpr std::chrono::milliseconds SHORTEST_NAVIGATION_TIMEOUT{30000};

bool is_dialog(const PageError& error) { return error.kind() == PageError::Kind::dialog; }

// Why a check found nothing, with the records that came closest.
std::string nothing_matches(const ParsedInstruction& parsed, const ChainAnswer& answer) {
  std::string reason = "no element matches " + text::quoted(parsed.target.value_or(""));
  std::vector<std::string> closest;
  for (const Element& candidate : answer.closest(3)) closest.push_back(describe(*candidate));
  if (!closest.empty()) reason += "; closest: " + text::join(closest, ", ");
  return reason;
}

bool is_any(const std::string& action, std::initializer_list<std::string_view> names) {
  for (const auto name : names) {
    if (action == name) return true;
  }
  return false;
}

bool is_element_action(const std::string& action) {
  return is_any(action, {"click", "double_click", "right_click", "check", "uncheck", "type", "hover", "select",
                         "extract_text", "extract_text_spatial"});
}

bool is_check(const std::string& action) {
  return is_any(action, {"verify_present", "verify_visible", "verify_enabled", "verify_disabled",
                         "verify_text_present", "verify_text_visible", "verify_spatial_text",
                         "find_text", "find_exact_text"});
}

bool is_checked_state(const std::string& action) { return is_any(action, {"verify_checked", "verify_unchecked"}); }

bool is_dialog_step(const std::string& action) {
  return is_any(action, {"accept_dialog", "dismiss_dialog", "verify_dialog"});
}

bool is_direct_step(const std::string& action) {
  return is_any(action, {"navigate", "wait", "press_key", "sendkeys"});
}

// A snapshot helps to debug a run and is never a reason to stop one: the first that
// cannot be written is said where its notice would stand, and the run takes no more,
// so the warning comes once: workers whose scans failed at the same time leave it to
// the one that turned snapshots off.
std::optional<std::string> stop_snapshots(std::ostream& out, const files::WriteError& failure) {
  if (!settings::SAVE_SNAPSHOTS.exchange(false)) return std::nullopt;
  const std::string warning = "DOM snapshot not saved: " + failure.path1().string() + ": " + failure.reason() +
                              "; no more snapshots are taken in this run";
  out << "  [" << warning << "]" << std::endl;
  return warning;
}

// Slices of a long pause, between which the loop asks whether to stop.
constexpr std::chrono::milliseconds PAUSE_SLICE{200};

std::string interrupted_during(int signal, std::string_view what) {
  return "the run was interrupted (" + signal_name(signal) + ") " + std::string(what);
}

}  // namespace

std::vector<StepOutcome> steps_not_run(Reporter& reporter, Console& console, const std::vector<ScriptStep>& steps,
                                       std::size_t from, const std::string& reason) {
  std::vector<StepOutcome> outcomes;
  for (std::size_t i = from; i < steps.size(); ++i) {
    reporter.log_failure(steps[i].text, std::nullopt);
    console.note(reason);
    StepOutcome outcome;
    outcome.line = steps[i].line;
    outcome.instruction = steps[i].text;
    outcome.status = StepStatus::not_run;
    outcome.started = WallClock::now();
    outcome.reason = reason;
    outcomes.push_back(std::move(outcome));
  }
  console.flush();
  return outcomes;
}

std::string interrupted_reason(int signal) {
  return "not run: the run was interrupted (" + signal_name(signal) + ")";
}

StepRunner::StepRunner(chromium::Tab& tab, Reporter& reporter, Console& console, std::filesystem::path script_dir,
                       StepSettings settings, StopRequest stop)
    : tab_(tab),
      reporter_(reporter),
      console_(console),
      script_dir_(std::move(script_dir)),
      settings_(settings),
      stop_(std::move(stop)) {}

bool StepRunner::is_fatal(const PageError& error) const {
  return error.kind() == PageError::Kind::gone || error.kind() == PageError::Kind::timeout || tab_.crashed();
}

StepOutcome StepRunner::run(const ScriptStep& step) {
  step_ = step;
  current_ = StepOutcome{};
  last_scan_.reset();
  current_.line = step.line;
  current_.instruction = step.text;
  current_.started = WallClock::now();
  const auto started = Clock::now();
  const auto done = [&] {
    current_.duration = Clock::now() - started;
    if (step_ended_) step_ended_(tab_, current_, last_scan_);
    console_.details(current_);
    console_.flush();
    return current_;
  };

  ParsedInstruction parsed;
  try {
    parsed = reader_.parse(step.text);
  } catch (const std::invalid_argument& e) {
    reporter_.log_failure(step.text, std::nullopt);
    failed(e.what());
    return done();
  }
  current_.action = parsed.action;
  try {
    run_parsed(parsed);
  } catch (const PageError& e) {
    current_.duration = Clock::now() - started;
    if (is_fatal(e)) {
      throw PageGone(tab_.crashed() ? "the browser tab crashed"
                                    : std::string("the page stopped answering (") + e.what() + ")");
    }
    reporter_.log_failure(step.text, std::nullopt);
    if (is_dialog(e)) {
      // A dialog kept the page from answering until the step's time was up.
      const auto dialog = tab_.open_dialog();
      failed("the page opened a dialog" + (dialog ? ": " + text::quoted(dialog->message) : std::string()));
    } else {
      failed(std::string("the page could not be used: ") + e.what());
    }
  }
  return done();
}

std::vector<StepOutcome> StepRunner::run_all(const std::vector<ScriptStep>& steps) {
  std::vector<StepOutcome> outcomes;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    if (const auto signal = stop_()) {
      auto rest = steps_not_run(reporter_, console_, steps, i, interrupted_reason(*signal));
      outcomes.insert(outcomes.end(), rest.begin(), rest.end());
      break;
    }
    try {
      outcomes.push_back(run(steps[i]));
    } catch (const PageGone& gone) {
      reporter_.log_failure(steps[i].text, std::nullopt);
      failed(gone.what());
      console_.details(current_);
      outcomes.push_back(current_);
      auto rest = steps_not_run(reporter_, console_, steps, i + 1, std::string("not run: ") + gone.what());
      outcomes.insert(outcomes.end(), rest.begin(), rest.end());
      return outcomes;
    }
  }
  finish(outcomes.empty() ? nullptr : &outcomes.back());
  return outcomes;
}

void StepRunner::run_parsed(const ParsedInstruction& parsed) {
  if (is_dialog_step(parsed.action)) return run_dialog_step(parsed);
  const std::string& action = parsed.action;
  if (!is_direct_step(action) && !is_element_action(action) && !is_check(action) && !is_checked_state(action) &&
      !is_negation(action) && !needs_no_element(action)) {
    // A step this loop has no way to perform fails; it never falls through to another act.
    reporter_.log_failure(step_.text, std::nullopt);
    return failed("steps of the kind " + text::quoted(parsed.action) + " cannot be performed by this runner yet");
  }
  // A held dialog survives a pause, so that a script may wait for it before answering.
  if (parsed.action != "wait") dismiss_unanswered_dialog(deadline_after(settings_.timeout));
  if (is_element_action(parsed.action)) return run_element_step(parsed);
  if (is_check(parsed.action)) return run_check(parsed);
  if (is_checked_state(parsed.action)) return run_checked_state(parsed);
  if (is_negation(parsed.action)) return run_negation(parsed);
  if (needs_no_element(parsed.action)) return run_page_check(parsed);
  return run_direct_step(parsed);
}

std::optional<PageRecords> StepRunner::scan(std::optional<std::string>& note, Clock::time_point deadline,
                                            ScanCache::Extras extras) {
  const auto snapshot_failed = [this](const files::WriteError& failure) {
    if (auto warning = stop_snapshots(console_.stream(), failure)) current_.notes.push_back(std::move(*warning));
  };
  while (true) {
    try {
      last_scan_ = scans_.read(tab_, console_.stream(), deadline, snapshot_failed, extras);
      return last_scan_;
    } catch (const PageError& e) {
      if (is_fatal(e)) throw;
      if (!is_dialog(e)) {
        note = std::string("the page could not be read: ") + e.what();
        return std::nullopt;
      }
    }
    // A dialog that no step answers is dismissed, and the page read again.
    if (Clock::now() >= deadline) {
      note = "a dialog opened while the page was read";
      return std::nullopt;
    }
    dismiss_unanswered_dialog(deadline);
  }
}

std::optional<StepRunner::Reading> StepRunner::read_and_resolve(const ParsedInstruction& parsed,
                                                                std::optional<std::string>& note,
                                                                Clock::time_point deadline) {
  auto page = scan(note, deadline, ScanCache::Extras::when_wanted);
  if (!page) return std::nullopt;
  bool extras_missing = false;
  const auto extras = [&]() -> const PageExtras& {
    if (!page->extras_read) {
      try {
        if (auto read = scans_.extras(tab_, deadline)) {
          page->extras = std::move(*read);
          page->extras_read = true;
        }
      } catch (const PageError& e) {
        if (is_fatal(e)) throw;
      }
      extras_missing = !page->extras_read;
    }
    return page->extras;
  };
  ChainAnswer answer = chain_.resolve(parsed, page->elements, page->text_elements, extras);
  if (extras_missing) {
    // The page changed after its records were read, or its extras could not be read
    // alone (a dialog, say): read both at once, as scan() reads the page.
    page = scan(note, deadline, ScanCache::Extras::with_records);
    if (!page) return std::nullopt;
    answer = chain_.resolve(parsed, view_of(*page));
  }
  return Reading{std::move(*page), std::move(answer)};
}

ActOutcome StepRunner::perform(const ParsedInstruction& parsed, const ElementRecord& element,
                               Clock::time_point deadline) {
  const std::string value = parsed.value.value_or("");
  if (parsed.action == "click") return tab_.click(element, deadline);
  if (parsed.action == "double_click") return tab_.click(element, deadline, {chromium::MouseButton::left, 2});
  if (parsed.action == "right_click") return tab_.click(element, deadline, {chromium::MouseButton::right, 1});
  if (parsed.action == "check" || parsed.action == "uncheck") {
    return tab_.set_checked(element, parsed.action == "check", deadline);
  }
  if (parsed.action == "hover") return tab_.hover(element, deadline);
  if (parsed.action == "type") return tab_.type(element, value, deadline);
  if (parsed.action == "select") return tab_.select(element, value, deadline);
  return {};  // extraction reads the record and does not act
}

void StepRunner::run_element_step(const ParsedInstruction& parsed) {
  const auto deadline = deadline_after(settings_.timeout);
  ChainAnswer answer;
  std::optional<std::string> note;
  while (true) {
    dismiss_unanswered_dialog(deadline);
    if (auto reading = read_and_resolve(parsed, note, deadline)) {
      answer = std::move(reading->answer);
      // What this try finds is the step's, not what an earlier try found.
      current_.strategy.reset();
      current_.level.reset();
      current_.element.reset();
      current_.anchor.reset();
      const Element element = answer.found() ? answer.result.element : nullptr;
      note.reset();
      if (element) {
        current_.strategy = answer.label;
        current_.level = answer.level;
        current_.element = element_info(*element);
        current_.anchor = answer.result.anchor_text;
        ActOutcome outcome;
        try {
          outcome = perform(parsed, *element, deadline);
        } catch (const PageError& e) {
          if (is_fatal(e)) throw;
          // A dialog the page opened by itself before the act is dismissed on the next try.
          outcome = ActOutcome::blocked(is_dialog(e)
                                            ? std::string("a dialog opened before the act")
                                            : std::string("the page changed during the act: ") + e.what());
        }
        if (outcome.done()) {
          std::optional<std::string> extracted;
          if (parsed.action == "extract_text_spatial" && answer.result.extracted) {
            extracted = answer.result.extracted;
          } else if (parsed.action == "extract_text" || parsed.action == "extract_text_spatial") {
            extracted = text::trim(element->text);
          }
          return passed_act(*current_.strategy, answer.level, element, extracted);
        }
        note = outcome.reason;
        if (outcome.kind == ActOutcome::Kind::unsuitable) break;
      }
    }
    if (give_up(deadline)) break;
    tab_.idle(settings_.poll);
  }
  if (const auto signal = stop_(); signal && !note) note = interrupted_during(*signal, "before the step was done");
  not_found(parsed, answer);
  explain_not_found(note);
}

void StepRunner::run_check(const ParsedInstruction& parsed) {
  const auto deadline = deadline_after(settings_.timeout);
  ChainAnswer answer;
  Verdict verdict;
  std::optional<std::string> note;
  while (true) {
    dismiss_unanswered_dialog(deadline);
    if (auto reading = read_and_resolve(parsed, note, deadline)) {
      note.reset();
      answer = std::move(reading->answer);
      verdict = verdict_of(parsed, answer);
      current_.anchor = answer.result.anchor_text;
      if (verdict.passed) return checked_step(true, verdict.element, verdict.state, answer.level);
    }
    if (give_up(deadline)) break;
    tab_.idle(settings_.poll);
  }
  if (const auto signal = stop_(); signal && !note) note = interrupted_during(*signal, "before the check held");
  checked_step(false, verdict.element, verdict.state, answer.level);
  if (!answer.found()) set_candidates(parsed, answer.closest(CANDIDATES_SHOWN));
  explain_failed_check(note);
}

void StepRunner::run_checked_state(const ParsedInstruction& parsed) {
  const bool wanted = parsed.action == "verify_checked";
  const auto deadline = deadline_after(settings_.timeout);
  Element element;
  std::optional<int> level;
  Json state = Json::object();
  std::string reason;
  std::optional<std::string> note;
  while (true) {
    dismiss_unanswered_dialog(deadline);
    if (auto reading = read_and_resolve(parsed, note, deadline)) {
      note.reset();
      const ChainAnswer& answer = reading->answer;
      element = answer.found() ? answer.result.element : nullptr;
      level = answer.level;
      state = Json::object();
      current_.anchor = answer.result.anchor_text;
      if (!element) set_candidates(parsed, answer.closest(CANDIDATES_SHOWN));
      if (!element) {
        reason = nothing_matches(parsed, answer);
      } else {
        std::optional<bool> checked;
        try {
          // The live state: a record says nothing of it.
          checked = tab_.is_checked(*element);
        } catch (const PageError& e) {
          if (is_fatal(e)) throw;
          // A dialog is dismissed and the element read again on the next try.
          note = is_dialog(e) ? std::string("a dialog opened while the state was read")
                              : std::string("the page changed while the state was read: ") + e.what();
        }
        state = Json{{"present", true}};
        if (checked) state["checked"] = *checked;
        if (checked && *checked == wanted) return checked_step(true, element, state, level);
        reason = !checked ? describe(*element) + " has no checked state (it is not a check box, radio or switch)"
                          : describe(*element) + (*checked ? " is checked" : " is not checked");
      }
    }
    if (give_up(deadline)) break;
    tab_.idle(settings_.poll);
  }
  if (const auto signal = stop_(); signal && !note) note = interrupted_during(*signal, "before the check held");
  checked_step(false, element, state, level);
  failed(note.value_or(reason));
}

void StepRunner::run_negation(const ParsedInstruction& parsed) {
  const auto deadline = deadline_after(settings_.timeout);
  const bool of_text = parsed.action == "verify_text_not_visible" || parsed.action == "verify_text_not_present";
  Judgement judgement;
  std::optional<std::string> note;
  // The records of the last read on which the negation held on a loaded page: it passes
  // when the next read, a pause later, gives the same records and holds too.
  std::optional<PageRecords> held;
  bool loaded = false;
  bool last_read = false;
  std::optional<int> level;
  while (true) {
    dismiss_unanswered_dialog(deadline);
    if (auto reading = read_and_resolve(parsed, note, deadline)) {
      note.reset();
      const ChainAnswer& answer = reading->answer;
      const PageRecords& page = reading->page;
      const Element shown = of_text ? nullptr : shown_text(page.text_elements, parsed.target.value_or(""));
      judgement = judge_negation(parsed, answer, shown);
      level = judgement.element ? answer.level : std::nullopt;
      current_.anchor = answer.result.anchor_text;
      if (!judgement.holds) {
        held.reset();
      } else if (loaded = page_loaded(); !loaded) {
        held.reset();
      } else if (held && same_records(held->elements, page.elements) &&
                 same_records(held->text_elements, page.text_elements)) {
        return checked_step(true, judgement.element, judgement.state, level);
      } else {
        held = std::move(reading->page);
      }
    }
    if (last_read || stop_()) break;
    if (Clock::now() >= deadline) {
      // A negation that held gets one more read past the time-out, to see the page still.
      if (!held) break;
      last_read = true;
    }
    tab_.idle(settings_.poll);
  }
  if (const auto signal = stop_(); signal && !note) note = interrupted_during(*signal, "before the check held");
  checked_step(false, judgement.element, judgement.state, level);
  if (note) return failed(*note);
  if (!judgement.holds) return failed(judgement.reason);
  failed(std::string(loaded ? "the page kept changing" : "the page had not finished loading") +
                " until the time-out, so it cannot be told that this is not there");
}

void StepRunner::run_page_check(const ParsedInstruction& parsed) {
  const auto deadline = deadline_after(settings_.timeout);
  Judgement judgement;
  std::optional<std::string> note;
  while (true) {
    dismiss_unanswered_dialog(deadline);
    try {
      judgement = judge_page(parsed, parsed.action == "verify_url_contains" ? tab_.url() : tab_.title());
      note.reset();
      if (judgement.holds) return checked_step(true, nullptr, judgement.state, std::nullopt);
    } catch (const PageError& e) {
      // A dialog the page opened by itself is dismissed on the next try.
      if (!is_dialog(e)) throw;
      note = "a dialog opened while the page was read";
    }
    if (give_up(deadline)) break;
    tab_.idle(settings_.poll);
  }
  if (const auto signal = stop_(); signal && !note) note = interrupted_during(*signal, "before the check held");
  checked_step(false, nullptr, judgement.state, std::nullopt);
  failed(note.value_or(judgement.reason));
}

bool StepRunner::page_loaded() {
  try {
    return tab_.evaluate(std::string(READY_STATE_SCRIPT)) == "complete";
  } catch (const PageError& e) {
    if (is_fatal(e)) throw;
    return false;
  }
}

void StepRunner::run_dialog_step(const ParsedInstruction& parsed) {
  if (!tab_.wait_for_dialog(settings_.timeout)) {
    if (parsed.action == "verify_dialog") {
      checked_step(false, nullptr, Json{{"expected", text::trim(parsed.value.value_or(""))}}, std::nullopt);
      return explain_failed_check(std::string("no dialog is open"));
    }
    reporter_.log_failure(step_.text, std::nullopt);
    return failed("no dialog is open");
  }
  const auto open = tab_.open_dialog();
  if (!open) {
    reporter_.log_failure(step_.text, std::nullopt);
    return failed("no dialog is open");
  }
  const chromium::Dialog& dialog = *open;
  if (parsed.action == "verify_dialog") {
    const std::string expected = text::trim(parsed.value.value_or(""));
    const bool passed = text::lower(dialog.message).find(text::lower(expected)) != std::string::npos;
    checked_step(passed, nullptr, Json{{"expected", expected}, {"actual", dialog.message}}, std::nullopt);
    if (!passed) explain_failed_check(std::nullopt);
    return;
  }
  tab_.answer_dialog(parsed.action == "accept_dialog");
  passed_direct();
}

void StepRunner::run_direct_step(const ParsedInstruction& parsed) {
  const std::string target = parsed.target.value_or("");
  if (parsed.action == "navigate") {
    const std::string url = address(target);
    const ActOutcome arrived = tab_.navigate(url, std::max(settings_.timeout, SHORTEST_NAVIGATION_TIMEOUT));
    if (!arrived.done()) {
      reporter_.log_failure(step_.text, std::nullopt);
      return failed("cannot open " + url + ": " + arrived.reason);
    }
  } else if (parsed.action == "wait") {
    const auto ms = wait_milliseconds(target);
    if (!ms || *ms > static_cast<std::uint64_t>(MAX_WAIT.count())) {
      reporter_.log_failure(step_.text, std::nullopt);
      return failed("the time to wait " + text::quoted(target) +
                    (ms ? " is longer than the maximum of " + std::to_string(MAX_WAIT.count()) + " milliseconds"
                        : std::string(" is not a number of milliseconds")));
    }
    if (!pause(std::chrono::milliseconds{static_cast<std::chrono::milliseconds::rep>(*ms)})) {
      reporter_.log_failure(step_.text, std::nullopt);
      return failed(interrupted_during(stop_().value_or(0), "during the wait"));
    }
  } else if (const auto chords = chromium::parse_chords(target)) {
    if (const ActOutcome pressed = tab_.press(*chords); !pressed.done()) {
      reporter_.log_failure(step_.text, std::nullopt);
      return failed(pressed.reason);
    }
  } else if (parsed.action == "sendkeys") {
    if (const ActOutcome typed = tab_.type_characters(target); !typed.done()) {
      reporter_.log_failure(step_.text, std::nullopt);
      return failed(typed.reason);
    }
  } else {
    reporter_.log_failure(step_.text, std::nullopt);
    return failed("unknown key " + text::quoted(target) +
                  "; write keys like Enter, Tab, Escape, ArrowDown, Backspace or Control+A");
  }
  passed_direct();
}

void StepRunner::dismiss_unanswered_dialog(Clock::time_point deadline) {
  // Answering one dialog may let the page open the next at once.
  do {
    const auto dialog = tab_.open_dialog();
    if (!dialog) return;
    note("dismissed the " + dialog->type + " " + text::quoted(dialog->message) + " that no step answered");
    tab_.answer_dialog(false);
  } while (Clock::now() < deadline);
}

bool StepRunner::pause(std::chrono::milliseconds duration) {
  // Counted by the time asked of the tab, and bounded by the clock as well.
  const auto end = deadline_after(duration);
  auto left = duration;
  while (left > std::chrono::milliseconds::zero() && Clock::now() < end) {
    if (stop_()) return false;
    const auto slice = std::min(left, PAUSE_SLICE);
    tab_.idle(slice);
    left -= slice;
  }
  return true;
}

bool StepRunner::give_up(Clock::time_point deadline) const { return Clock::now() >= deadline || stop_(); }

void StepRunner::finish(StepOutcome* last) {
  StepOutcome kept = std::move(current_);
  current_ = StepOutcome{};
  try {
    dismiss_unanswered_dialog(deadline_after(settings_.timeout));
  } catch (const PageError&) {
    // The tab is closed next anyway.
  }
  if (last) last->notes.insert(last->notes.end(), current_.notes.begin(), current_.notes.end());
  current_ = std::move(kept);
  console_.flush();
}

std::string StepRunner::address(const std::string& target) const {
  if (has_url_scheme(target)) return target;
  // A query or fragment stays as written; only the path becomes a file URL.
  const std::size_t rest = target.find_first_of("?#");
  std::filesystem::path path(target.substr(0, rest));
  if (path.is_relative()) path = script_dir_ / path;
  return chromium::to_url(path.lexically_normal().string()) +
         (rest == std::string::npos ? std::string() : target.substr(rest));
}

void StepRunner::passed_act(const std::string& strategy, std::optional<int> level, const Element& element,
                            const std::optional<std::string>& extracted) {
  reporter_.log_success(step_.text, strategy, element, extracted);
  current_.status = StepStatus::passed;
  current_.strategy = strategy;
  current_.level = level;
  current_.element = element ? std::optional<ElementInfo>(element_info(*element)) : std::nullopt;
  current_.extracted = extracted;
}

void StepRunner::passed_direct() {
  reporter_.log_success(step_.text, DIRECT_STRATEGY, nullptr);
  current_.status = StepStatus::passed;
  current_.strategy = std::string(DIRECT_STRATEGY);
}

void StepRunner::checked_step(bool passed, const Element& element, const std::optional<Json>& state,
                         std::optional<int> level) {
  reporter_.log_verification(step_.text, passed, element, state);
  current_.status = passed ? StepStatus::passed : StepStatus::failed;
  current_.strategy = std::string(CHECK_STRATEGY);
  current_.level = element ? level : std::nullopt;
  current_.element = element ? std::optional<ElementInfo>(element_info(*element)) : std::nullopt;
  if (state && state->is_object() && !state->empty()) current_.state = *state;
}

void StepRunner::not_found(const ParsedInstruction& parsed, const ChainAnswer& answer) {
  reporter_.log_failure(step_.text, answer.said(DOM_LABEL), answer.said(SPATIAL_LABEL));
  current_.status = StepStatus::failed;
  // An element that was found but could not be acted on stays the step's element.
  if (current_.element) return;
  set_candidates(parsed, answer.closest(CANDIDATES_SHOWN));
}

void StepRunner::set_candidates(const ParsedInstruction& parsed, const Elements& said) {
  current_.candidates.clear();
  Elements candidates = said;
  if (candidates.empty() && last_scan_ && parsed.target) {
    candidates = near_misses(*parsed.target, last_scan_->elements, last_scan_->text_elements, CANDIDATES_SHOWN);
  }
  for (const Element& candidate : candidates) {
    if (candidate && current_.candidates.size() < CANDIDATES_SHOWN) current_.candidates.push_back(element_info(*candidate));
  }
}

void StepRunner::failed(const std::string& reason) {
  console_.note(reason);
  current_.status = StepStatus::failed;
  current_.reason = reason;
}

void StepRunner::explain_not_found(const std::optional<std::string>& note) {
  if (note) return failed(*note);
  // The reporter's own lines say it all: the failure record's reasons and candidate.
  const ResultRecord& record = reporter_.results.back();
  std::string reason = "no element matches";
  if (record.reasons && !record.reasons->empty()) reason += " (" + *record.reasons + ")";
  if (record.top_candidate && !record.top_candidate->empty()) reason += "; closest: " + *record.top_candidate;
  current_.reason = reason;
}

void StepRunner::explain_failed_check(const std::optional<std::string>& note) {
  if (note) return failed(*note);
  const ResultRecord& record = reporter_.results.back();
  std::string reason = "the check failed";
  if (record.state && !record.state->empty()) reason += ": " + printed_form(*record.state);
  current_.reason = reason;
}

void StepRunner::note(const std::string& text) {
  console_.note(text);
  current_.notes.push_back(text);
}

}  // namespace quillfen::runner
