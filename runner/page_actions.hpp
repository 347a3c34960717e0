// Acting on a page as a person would: through the browser's input events, at the place
// where the element is drawn now, never through JavaScript click().
//
// An element is found again by its positional xpath, scrolled into view, and checked
// before the act: an element that is gone, hidden, disabled or covered by another one
// is not acted on. A dialog opened by an act leaves it done (see dialogs.hpp).
#pragma once

#include "chromium/chromium_page.hpp"
#include "engine/core/records.hpp"
#include "runner/dialogs.hpp"
#include "runner/keys.hpp"

#include <chrono>
#include <string>
#include <vector>

namespace quillfen::runner {

struct ActionOutcome {
  enum class Kind {
    done,
    blocked,     // the element cannot be acted on now; it may change (retry)
    unsuitable,  // the element can never take this act (not a field, no such option)
  };
  Kind kind = Kind::done;
  std::string reason;  // why not, for blocked and unsuitable

  bool ok() const { return kind == Kind::done; }
};

class PageActions {
 public:
  // `load_timeout` bounds the wait for a page that an act starts to load.
  PageActions(chromium::ChromiumPage& page, DialogWatcher& dialogs,
              std::chrono::milliseconds load_timeout);

  // A left click at the centre of the element's box.
  ActionOutcome click(const ElementRecord& element);
  // Moves the mouse onto the element's centre.
  ActionOutcome hover(const ElementRecord& element);
  // Clicks into the field (a label stands for its control), selects what it holds and
  // inserts the text in its place; an empty text clears the field.
  ActionOutcome type(const ElementRecord& element, const std::string& text);
  // Chooses the option whose label or value is the text (case ignored), else the first
  // whose label contains it, and fires input and change.
  ActionOutcome select(const ElementRecord& element, const std::string& option);
  // Presses each chord in turn on the focused element.
  void press(const std::vector<Chord>& chords);
  // Types each character with its key events.
  void type_characters(const std::string& characters);
  // Loads a URL and waits for its load event. Throws PageError when it cannot.
  void navigate(const std::string& url);
  // When the page started loading another since the events were last taken, waits for
  // its load event. The acts call it themselves; answering a dialog needs it too.
  void settle();

 private:
  // Finds, scrolls to and checks the element; `mode` is click, hover, type or select.
  ActionOutcome locate(const ElementRecord& element, const std::string& mode, double& x, double& y);
  // Moves onto the element and presses and releases the left button at its centre.
  ActionOutcome press_mouse(const ElementRecord& element, const std::string& mode);
  void mouse(const std::string& type, double x, double y);
  void key_event(const std::string& type, const Key& key, int modifiers);

  chromium::ChromiumPage& page_;
  DialogWatcher& dialogs_;
  std::chrono::milliseconds load_timeout_;
};

}  // namespace quillfen::runner
