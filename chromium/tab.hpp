// A browser tab as a test step needs it: the engine's Page (what a scan reads) plus
// navigation, acts on elements as a person makes them, the keyboard, JavaScript dialogs,
// idling, and what the tab shows.
//
// Acts take the element record a step resolved: the element is found again by its xpath
// and acted on where it is drawn now, through the browser's input events. An act first
// waits, within its deadline, until the element holds still (the same box in two
// consecutive animation frames) and receives the pointer where it will be clicked, so
// that an element that is still fading or sliding in is waited for, not clicked through.
// Each act says what became of it: done, blocked (the element cannot take the act now,
// but may: try again) or unsuitable (it never can: fail now), with the reason in plain
// words.
//
// A JavaScript dialog blocks the page until it is answered. One that opens while an act
// is under way is that act's own effect once the act's decisive input went out (the
// press of a click, the insertion of the typed text): the act is done, and the dialog is
// held open until someone answers it. One that opens earlier leaves the act blocked,
// naming the dialog. Page reads met by a dialog fail with PageError of kind `dialog`.
// Every operation throws PageError of kind `gone` or `timeout` when the tab itself fails.
#pragma once

#include "chromium/keys.hpp"
#include "engine/browser/page.hpp"
#include "engine/core/records.hpp"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillfen::chromium {

using Clock = std::chrono::steady_clock;

// What became of an act or a navigation.
struct ActOutcome {
  enum class Kind {
    done,
    blocked,     // not now: the page may change (a covered, moving or disabled element)
    unsuitable,  // never: not a field, no such option, an address that cannot be opened
  };
  Kind kind = Kind::done;
  // Why not, for blocked and unsuitable.
  std::string reason;

  bool done() const { return kind == Kind::done; }
  static ActOutcome blocked(std::string reason) { return {Kind::blocked, std::move(reason)}; }
  static ActOutcome unsuitable(std::string reason) { return {Kind::unsuitable, std::move(reason)}; }
};

// A JavaScript dialog as the page opened it.
struct Dialog {
  std::string type;  // "alert", "confirm", "prompt" or "beforeunload"
  std::string message;
  std::string default_prompt;
};

enum class MouseButton { left, right };

struct Click {
  MouseButton button = MouseButton::left;
  // 1 for a click, 2 for a double click.
  int count = 1;
};

// Ends a scan of the tab when it is gone (see Tab::begin_scan).
class ScanScope {
 public:
  virtual ~ScanScope() = default;
};

class Tab : public Page {
 public:
  // Makes the page reads until the returned object is gone one scan, whose reads must
  // all end by `deadline`: one still running then fails with PageError of kind `slow`,
  // and the tab stays usable. None when the tab has no such thing; then reads have their
  // own time-outs.
  virtual std::unique_ptr<ScanScope> begin_scan(Clock::time_point /*deadline*/) { return nullptr; }
  // A stamp that stays the same only as long as nothing a scan reads can have changed,
  // so that a scan made at one stamp serves at an equal one; none when the tab cannot
  // tell (then every scan is read afresh).
  virtual std::optional<std::string> change_stamp() { return std::nullopt; }

  // Opens a URL or a local path and waits, up to `timeout`, until it has loaded. A
  // beforeunload prompt of the page being left is accepted, and the tab must then really
  // arrive. Unsuitable, with the reason, when the address cannot be opened, does not
  // answer or load in time, or the page stayed where it was; the tab stays usable.
  virtual ActOutcome navigate(const std::string& url_or_path, std::chrono::milliseconds timeout) = 0;

  // Clicks at the element (a label stands for its control as the browser makes it).
  virtual ActOutcome click(const ElementRecord& element, Clock::time_point deadline, Click how = {}) = 0;
  // Moves the mouse onto the element.
  virtual ActOutcome hover(const ElementRecord& element, Clock::time_point deadline) = 0;
  // Clicks into the field (a label stands for its control) and replaces what it holds
  // with the text; an empty text clears it.
  virtual ActOutcome type(const ElementRecord& element, const std::string& text, Clock::time_point deadline) = 0;
  // Chooses the option of a drop-down list whose label or value is the text (case
  // ignored), else the first whose label contains it.
  virtual ActOutcome select(const ElementRecord& element, const std::string& option, Clock::time_point deadline) = 0;
  // Checks or unchecks a check box, radio, switch (role=switch or role=checkbox with
  // aria-checked) or the control a label stands for: clicks it only when its state
  // differs, then confirms the new state. Unchecking a checked radio is unsuitable: only
  // choosing another of its group clears it.
  virtual ActOutcome set_checked(const ElementRecord& element, bool checked, Clock::time_point deadline) = 0;
  // The element's checked state now; none when it is gone or has no such state.
  virtual std::optional<bool> is_checked(const ElementRecord& element) = 0;
  // Presses each chord in turn on the focused element.
  virtual ActOutcome press(const std::vector<Chord>& chords) = 0;
  // Types each character with its key events.
  virtual ActOutcome type_characters(const std::string& characters) = 0;

  // The dialog open now, if any.
  virtual std::optional<Dialog> open_dialog() = 0;
  // Waits up to `timeout` until a dialog is open; whether one is.
  virtual bool wait_for_dialog(std::chrono::milliseconds timeout) = 0;
  // Answers the open dialog (a prompt with `prompt_text`, else its default text) and
  // waits for a page that the answer starts to load. Does nothing when none is open.
  virtual void answer_dialog(bool accept, const std::optional<std::string>& prompt_text = std::nullopt) = 0;
  // Lets the tab run for a while; dialogs that open meanwhile are held. Any length.
  virtual void idle(std::chrono::milliseconds duration) = 0;

  virtual std::string title() = 0;
  // A PNG picture of the viewport, or of `clip` (in the viewport's CSS pixels).
  virtual std::string screenshot(const std::optional<BoundingBox>& clip = std::nullopt) = 0;
  // Whether the tab's page crashed.
  virtual bool crashed() = 0;
};

// A URL as it is, or a local path (relative or absolute) as a file:// URL. Strings with
// a scheme ("https:", "file:", "about:", "data:") count as URLs.
std::string to_url(const std::string& url_or_path);

// The time point `duration` from now, or the farthest one when that is out of reach, so
// that any duration makes a deadline (a negative one makes now).
inline Clock::time_point deadline_after(std::chrono::milliseconds duration) {
  const Clock::time_point now = Clock::now();
  if (duration <= std::chrono::milliseconds::zero()) return now;
  const auto room = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - now);
  if (duration >= room) return Clock::time_point::max();
  return now + duration;
}

// What is left until a deadline, never negative.
inline std::chrono::milliseconds time_left(Clock::time_point deadline) {
  const Clock::time_point now = Clock::now();
  if (deadline <= now) return std::chrono::milliseconds::zero();
  return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
}

}  // namespace quillfen::chromium
