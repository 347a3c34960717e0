#include "runner/page_actions.hpp"

#include "engine/core/text.hpp"

namespace quillfen::runner {
namespace {

// Finds the element of an xpath again and makes it ready for an act: a label stands for
// its control when typing or selecting; the element is scrolled to the middle of the
// view, and the point at the centre of its box must show the element itself (or a
// descendant, or its label), or something covers it.
constexpr std::string_view LOCATE_JS = R"JS(() => {
  const xpath = __XPATH__;
  const mode = __MODE__;
  const describe = (node) => {
    if (!node || !node.tagName) return "nothing";
    const text = (node.innerText || node.value || node.getAttribute("aria-label") || "")
      .trim().replace(/\s+/g, " ");
    return "<" + node.tagName.toLowerCase() + (node.id ? "#" + node.id : "") + ">" +
      (text ? " '" + (text.length > 40 ? text.slice(0, 40) + "..." : text) + "'" : "");
  };
  let el = document.evaluate(xpath, document, null,
    XPathResult.FIRST_ORDERED_NODE_TYPE, null).singleNodeValue;
  if (!el || !(el instanceof Element)) {
    return {status: "blocked", reason: "the element " + xpath + " is gone from the page"};
  }
  if ((mode === "type" || mode === "select") && el.tagName === "LABEL" && el.control) {
    el = el.control;
  }
  if (mode === "type") {
    const inputTypes = ["button", "submit", "reset", "checkbox", "radio", "file", "image",
      "hidden", "range", "color"];
    const editable = el.isContentEditable || el.tagName === "TEXTAREA" ||
      (el.tagName === "INPUT" && !inputTypes.includes(el.type));
    if (!editable) {
      return {status: "unsuitable", reason: describe(el) + " is not a field one can type into"};
    }
    if (el.readOnly) return {status: "blocked", reason: describe(el) + " is read-only"};
  }
  if (mode === "select" && el.tagName !== "SELECT") {
    return {status: "unsuitable", reason: describe(el) + " is not a drop-down list"};
  }
  if (mode !== "hover" && (el.matches(":disabled") || el.getAttribute("aria-disabled") === "true")) {
    return {status: "blocked", reason: describe(el) + " is disabled"};
  }
  el.scrollIntoView({block: "center", inline: "center", behavior: "instant"});
  const box = el.getBoundingClientRect();
  if (box.width === 0 || box.height === 0 || getComputedStyle(el).visibility !== "visible") {
    return {status: "blocked", reason: describe(el) + " is not visible"};
  }
  const x = box.left + box.width / 2;
  const y = box.top + box.height / 2;
  if (mode === "select") return {status: "ok", x, y};
  const hit = document.elementFromPoint(x, y);
  if (!hit) return {status: "blocked", reason: describe(el) + " is outside the window"};
  const label = hit.closest("label");
  if (hit !== el && !el.contains(hit) && !(label && label.control === el)) {
    return {status: "blocked", reason: describe(el) + " is covered by " + describe(hit)};
  }
  return {status: "ok", x, y};
})JS";

// Focuses the field and selects all it holds, so that inserted text replaces it.
constexpr std::string_view SELECT_CONTENT_JS = R"JS(() => {
  let el = document.evaluate(__XPATH__, document, null,
    XPathResult.FIRST_ORDERED_NODE_TYPE, null).singleNodeValue;
  if (!el) return false;
  if (el.tagName === "LABEL" && el.control) el = el.control;
  el.focus();
  if (typeof el.select === "function") {
    el.select();
  } else {
    const range = document.createRange();
    range.selectNodeContents(el);
    const selection = getSelection();
    selection.removeAllRanges();
    selection.addRange(range);
  }
  return true;
})JS";

constexpr std::string_view CHOOSE_OPTION_JS = R"JS(() => {
  let el = document.evaluate(__XPATH__, document, null,
    XPathResult.FIRST_ORDERED_NODE_TYPE, null).singleNodeValue;
  if (!el) return {status: "blocked", reason: "the drop-down list is gone from the page"};
  if (el.tagName === "LABEL" && el.control) el = el.control;
  const wanted = __VALUE__.trim().toLowerCase();
  const options = [...el.options];
  const label = (option) => (option.label || option.textContent).trim();
  const pick = options.find((o) => label(o).toLowerCase() === wanted) ||
    options.find((o) => o.value.toLowerCase() === wanted) ||
    options.find((o) => label(o).toLowerCase().includes(wanted));
  if (!pick) {
    return {status: "unsuitable", reason: "the list has no option '" + __VALUE__.trim() +
      "' (its options: " + options.map(label).join(", ") + ")"};
  }
  el.focus();
  if (el.multiple) pick.selected = true; else el.selectedIndex = pick.index;
  el.dispatchEvent(new Event("input", {bubbles: true}));
  el.dispatchEvent(new Event("change", {bubbles: true}));
  return {status: "ok"};
})JS";

std::string with(std::string_view script, std::initializer_list<std::pair<std::string, std::string>> values) {
  std::string out(script);
  for (const auto& [name, value] : values) {
    // Values go in as JSON strings, which are JavaScript string literals.
    out = text::replace_all(out, name, Json(value).dump(-1, ' ', false, Json::error_handler_t::replace));
  }
  return out;
}

ActionOutcome outcome_of(const Json& answer) {
  const std::string status = answer.is_object() ? answer.value("status", std::string()) : std::string();
  const std::string reason = answer.is_object() ? answer.value("reason", std::string()) : std::string();
  if (status == "ok") return {};
  if (status == "unsuitable") return {ActionOutcome::Kind::unsuitable, reason};
  return {ActionOutcome::Kind::blocked, reason.empty() ? "the element cannot be acted on" : reason};
}

}  // namespace

PageActions::PageActions(chromium::ChromiumPage& page, DialogWatcher& dialogs,
                         std::chrono::milliseconds load_timeout)
    : page_(page), dialogs_(dialogs), load_timeout_(load_timeout) {}

ActionOutcome PageActions::locate(const ElementRecord& element, const std::string& mode, double& x,
                                  double& y) {
  const Json answer = page_.evaluate(with(LOCATE_JS, {{"__XPATH__", element.xpath}, {"__MODE__", mode}}));
  ActionOutcome outcome = outcome_of(answer);
  if (outcome.ok()) {
    x = answer.value("x", 0.0);
    y = answer.value("y", 0.0);
  }
  return outcome;
}

void PageActions::mouse(const std::string& type, double x, double y) {
  const bool moved = type == "mouseMoved";
  page_.session().send("Input.dispatchMouseEvent", {{"type", type},
                                                     {"x", x},
                                                     {"y", y},
                                                     {"button", moved ? "none" : "left"},
                                                     {"buttons", type == "mousePressed" ? 1 : 0},
                                                     {"clickCount", moved ? 0 : 1}});
}

void PageActions::key_event(const std::string& type, const Key& key, int modifiers) {
  Json params{{"type", type},
              {"modifiers", modifiers},
              {"key", key.key},
              {"code", key.code},
              {"windowsVirtualKeyCode", key.key_code},
              {"nativeVirtualKeyCode", key.key_code}};
  if (type == "keyDown" && !key.text.empty()) {
    params["text"] = key.text;
    params["unmodifiedText"] = key.text;
  }
  page_.session().send("Input.dispatchKeyEvent", params);
}

void PageActions::settle() {
  if (dialogs_.open_dialog()) return;
  try {
    auto& session = page_.session();
    if (session.wait_for_event("Page.frameStartedLoading", std::chrono::milliseconds{60})) {
      session.wait_for_event("Page.loadEventFired", load_timeout_);
    }
  } catch (const DialogOpened&) {
    // The new page greeted with a dialog; it stays open for the next steps.
  }
}

ActionOutcome PageActions::press_mouse(const ElementRecord& element, const std::string& mode) {
  double x = 0;
  double y = 0;
  if (auto outcome = locate(element, mode, x, y); !outcome.ok()) return outcome;
  page_.session().take_events();
  mouse("mouseMoved", x, y);
  // Moving the mouse may change the page (a hover effect ends and the layout shifts),
  // so the element is found again before the button goes down.
  double now_x = x;
  double now_y = y;
  if (auto outcome = locate(element, mode, now_x, now_y); !outcome.ok()) return outcome;
  if (now_x != x || now_y != y) mouse("mouseMoved", now_x, now_y);
  mouse("mousePressed", now_x, now_y);
  mouse("mouseReleased", now_x, now_y);
  return {};
}

ActionOutcome PageActions::click(const ElementRecord& element) {
  try {
    if (auto outcome = press_mouse(element, "click"); !outcome.ok()) return outcome;
  } catch (const DialogOpened&) {
    return {};
  }
  settle();
  return {};
}

ActionOutcome PageActions::hover(const ElementRecord& element) {
  double x = 0;
  double y = 0;
  if (auto outcome = locate(element, "hover", x, y); !outcome.ok()) return outcome;
  try {
    mouse("mouseMoved", x, y);
  } catch (const DialogOpened&) {
  }
  return {};
}

ActionOutcome PageActions::type(const ElementRecord& element, const std::string& text) {
  try {
    if (auto outcome = press_mouse(element, "type"); !outcome.ok()) return outcome;
    page_.evaluate(with(SELECT_CONTENT_JS, {{"__XPATH__", element.xpath}}));
    if (text.empty()) {
      press({*parse_chord("Backspace")});
    } else {
      page_.session().send("Input.insertText", {{"text", text}});
    }
  } catch (const DialogOpened&) {
    return {};
  }
  return {};
}

ActionOutcome PageActions::select(const ElementRecord& element, const std::string& option) {
  double x = 0;
  double y = 0;
  if (auto outcome = locate(element, "select", x, y); !outcome.ok()) return outcome;
  try {
    return outcome_of(page_.evaluate(
        with(CHOOSE_OPTION_JS, {{"__XPATH__", element.xpath}, {"__VALUE__", option}})));
  } catch (const DialogOpened&) {
    return {};
  }
}

void PageActions::press(const std::vector<Chord>& chords) {
  page_.session().take_events();
  try {
    for (const auto& chord : chords) {
      int held = 0;
      for (const auto& modifier : chord.modifier_keys) {
        held |= modifier_bit(modifier);
        key_event("rawKeyDown", modifier, held);
      }
      key_event(chord.key.text.empty() ? "rawKeyDown" : "keyDown", chord.key, chord.modifiers);
      key_event("keyUp", chord.key, chord.modifiers);
      for (auto k = chord.modifier_keys.rbegin(); k != chord.modifier_keys.rend(); ++k) {
        held &= ~modifier_bit(*k);
        key_event("keyUp", *k, held);
      }
    }
  } catch (const DialogOpened&) {
    return;
  }
  settle();
}

void PageActions::type_characters(const std::string& characters) {
  page_.session().take_events();
  try {
    for (const char32_t c : text::decode(characters)) {
      const Key key = key_for_character(text::encode(std::u32string(1, c)));
      key_event("keyDown", key, 0);
      key_event("keyUp", key, 0);
    }
  } catch (const DialogOpened&) {
    return;
  }
  settle();
}

void PageActions::navigate(const std::string& url) {
  try {
    page_.navigate(url, load_timeout_);
  } catch (const DialogOpened&) {
    // The page opened a dialog while loading; it is there, and the dialog is held.
  }
}

}  // namespace quillfen::runner
