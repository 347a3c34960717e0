// The only way the engine reaches a browser: a page and the element handles it returns.
//
// Every operation is a blocking request and may fail (element detached, page navigated
// or closed, time-out); a failure throws PageError, whose kind says what failed. What a
// failure means is decided at each call site. Handles are used only within the call
// that obtained them.
#pragma once

#include "engine/core/records.hpp"

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillfen {

class PageError : public std::runtime_error {
 public:
  enum class Kind {
    // The page's own answer about one element or script: an element gone from the
    // document, a selector that is not valid, a script that threw. Only this kind
    // concerns a single element; a scan drops that element and goes on.
    element,
    // A JavaScript dialog is open, and the page answers nothing until it is closed.
    dialog,
    // No answer came in time; the page may be busy or frozen.
    timeout,
    // The page answers, but a read took longer than the time it was given and was
    // stopped there (a scan running past its step's time-out). The tab stays usable;
    // only that request failed.
    slow,
    // The tab or the browser is gone (closed, crashed, connection lost).
    gone,
  };

  explicit PageError(const std::string& message, Kind kind = Kind::element)
      : std::runtime_error(message), kind_(kind) {}

  Kind kind() const noexcept { return kind_; }

 private:
  Kind kind_;
};

class ElementHandle {
 public:
  virtual ~ElementHandle() = default;

  // The element is rendered and visible.
  virtual bool is_visible() = 0;
  // The element accepts interaction (not disabled).
  virtual bool is_enabled() = 0;
  // `script` is the text of a JavaScript function of one parameter, the element; the
  // result is its return value as JSON (string, boolean, map or null).
  virtual Json evaluate(const std::string& script) = 0;
  // The rendered text, possibly empty.
  virtual std::string inner_text() = 0;
  // The attribute's value, or none when the attribute is absent.
  virtual std::optional<std::string> get_attribute(const std::string& name) = 0;
  // The border box in the main frame's viewport, or none when the element has no box.
  virtual std::optional<BoundingBox> bounding_box() = 0;
};

using ElementHandlePtr = std::unique_ptr<ElementHandle>;

class Page {
 public:
  virtual ~Page() = default;

  // Every matching element once, in document order; empty when nothing matches.
  virtual std::vector<ElementHandlePtr> query_selector_all(const std::string& selector) = 0;
  // The first matching element, or null.
  virtual ElementHandlePtr query_selector(const std::string& selector) = 0;
  // `script` is the text of a JavaScript function without parameters.
  virtual Json evaluate(const std::string& script) = 0;
  // The current page address.
  virtual std::string url() = 0;
};

}  // namespace quillfen
