// The Tab's acts on a Chromium tab: found and waited for in the isolated world (act.js),
// made with the protocol's input calls.
#include "chromium/chromium_page.hpp"

#include "chromium/scripts.hpp"
#include "engine/core/text.hpp"

#include <algorithm>

namespace quillfen::chromium {

namespace {

// The browser takes seconds to insert a few megabytes into a field, and stops answering
// while it does: longer texts are refused.
constexpr std::size_t MAX_TYPED_BYTES = std::size_t{256} << 10;
// One page call waits this long at most for an element to hold still and receive the
// pointer (the step tries again after a fresh look at the page), and this long at least,
// which leaves room for the two frames that show an element holds still.
constexpr std::chrono::milliseconds LONGEST_SPOT_WAIT{1000};
constexpr std::chrono::milliseconds SHORTEST_SPOT_WAIT{250};
// How long a checked state may take to show after the click that changes it.
constexpr std::chrono::milliseconds STATE_CHANGE_WAIT{1000};

ActOutcome outcome_of(const Json& answer) {
  const std::string status = answer.is_object() ? answer.value("status", std::string()) : std::string();
  const std::string reason = answer.is_object() ? answer.value("reason", std::string()) : std::string();
  if (status == "ok") return {};
  if (status == "unsuitable") return ActOutcome::unsuitable(reason);
  return ActOutcome::blocked(reason.empty() ? "the element cannot be acted on" : reason);
}

bool is_dialog(const PageError& error) { return error.kind() == PageError::Kind::dialog; }

std::chrono::milliseconds spot_wait(Clock::time_point deadline) {
  return std::clamp(time_left(deadline), SHORTEST_SPOT_WAIT, LONGEST_SPOT_WAIT);
}

Json act(std::string_view operation, const ElementRecord& element, Json argument = nullptr,
         std::chrono::milliseconds budget = {}, Json previous = nullptr) {
  return Json::array({operation, element.xpath, std::move(argument), budget.count(), std::move(previous)});
}

}  // namespace

std::string ChromiumPage::dialog_opened(const std::string& before) {
  const auto dialog = open_dialog();
  return "a dialog opened " + before + (dialog ? ": " + text::quoted(dialog->message) : std::string());
}

std::variant<ChromiumPage::Spot, ActOutcome> ChromiumPage::spot(const ElementRecord& element, const std::string& mode,
                                                                Clock::time_point deadline, const Json& box) {
  const Json answer = call_in_world(scripts::ACT, act("spot", element, mode, spot_wait(deadline), box));
  if (ActOutcome outcome = outcome_of(answer); !outcome.done()) return outcome;
  return Spot{answer.value("x", 0.0), answer.value("y", 0.0), answer.value("box", Json())};
}

std::variant<ChromiumPage::Spot, ActOutcome> ChromiumPage::aim(const ElementRecord& element, const std::string& mode,
                                                               Clock::time_point deadline, const std::string& before) {
  try {
    auto found = spot(element, mode, deadline);
    const Spot* at = std::get_if<Spot>(&found);
    if (at == nullptr) return found;
    mouse("mouseMoved", at->x, at->y);
    return spot(element, mode, deadline, at->box);
  } catch (const PageError& error) {
    if (!is_dialog(error)) throw;
    return ActOutcome::blocked(dialog_opened(before));
  }
}

void ChromiumPage::mouse(const std::string& type, double x, double y, const Click& how) {
  const bool moved = type == "mouseMoved";
  const bool right = how.button == MouseButton::right;
  session_->send("Input.dispatchMouseEvent", {{"type", type},
                                              {"x", x},
                                              {"y", y},
                                              {"button", moved ? "none" : right ? "right" : "left"},
                                              {"buttons", type == "mousePressed" ? (right ? 2 : 1) : 0},
                                              {"clickCount", moved ? 0 : how.count}});
}

void ChromiumPage::press_mouse(const Spot& at, const Click& how) {
  // A double click is two clicks, the second one counted as such.
  for (int count = 1; count <= std::max(how.count, 1); ++count) {
    const Click this_one{how.button, count};
    mouse("mousePressed", at.x, at.y, this_one);
    mouse("mouseReleased", at.x, at.y, this_one);
  }
}

void ChromiumPage::key_event(const std::string& type, const Key& key, int modifiers) {
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
  session_->send("Input.dispatchKeyEvent", params);
}

ActOutcome ChromiumPage::click(const ElementRecord& element, Clock::time_point deadline, Click how) {
  auto aimed = aim(element, "click", deadline, "before the click");
  const Spot* at = std::get_if<Spot>(&aimed);
  if (at == nullptr) return std::get<ActOutcome>(aimed);
  forget_loads();
  try {
    press_mouse(*at, how);
  } catch (const PageError& error) {
    // The click's own effect: the dialog stays open for a step to answer.
    if (!is_dialog(error)) throw;
    return {};
  }
  settle();
  return {};
}

ActOutcome ChromiumPage::hover(const ElementRecord& element, Clock::time_point deadline) {
  auto found = spot(element, "hover", deadline);
  const Spot* at = std::get_if<Spot>(&found);
  if (at == nullptr) return std::get<ActOutcome>(found);
  try {
    mouse("mouseMoved", at->x, at->y);
  } catch (const PageError& error) {
    // The move's own effect (a mouseover handler): held for a step to answer.
    if (!is_dialog(error)) throw;
  }
  return {};
}

ActOutcome ChromiumPage::type(const ElementRecord& element, const std::string& text, Clock::time_point deadline) {
  if (text.size() > MAX_TYPED_BYTES) {
    return ActOutcome::unsuitable("the text to type is too long (" + std::to_string(text.size()) +
                                  " bytes; at most " + std::to_string(MAX_TYPED_BYTES) + " can be typed)");
  }
  auto aimed = aim(element, "type", deadline, "while typing");
  const Spot* at = std::get_if<Spot>(&aimed);
  if (at == nullptr) return std::get<ActOutcome>(aimed);
  try {
    press_mouse(*at, {});
    if (ActOutcome filled = outcome_of(call_in_world(scripts::ACT, act("fill", element))); !filled.done()) {
      return filled;
    }
  } catch (const PageError& error) {
    // Nothing was typed yet: not done.
    if (!is_dialog(error)) throw;
    return ActOutcome::blocked(dialog_opened("while typing"));
  }
  try {
    if (text.empty()) {
      const auto backspace = parse_chord("Backspace");
      key_event("rawKeyDown", backspace->key, 0);
      key_event("keyUp", backspace->key, 0);
    } else {
      session_->send("Input.insertText", {{"text", text}});
    }
  } catch (const PageError& error) {
    // Opened by the field's own input handlers, once the text went in.
    if (!is_dialog(error)) throw;
  }
  return {};
}

ActOutcome ChromiumPage::select(const ElementRecord& element, const std::string& option, Clock::time_point deadline) {
  auto found = spot(element, "select", deadline);
  if (const ActOutcome* outcome = std::get_if<ActOutcome>(&found)) return *outcome;
  try {
    return outcome_of(call_in_world(scripts::ACT, act("choose", element, option)));
  } catch (const PageError& error) {
    // Opened by the list's own input or change handlers, once the option was chosen.
    if (!is_dialog(error)) throw;
    return {};
  }
}

std::optional<bool> ChromiumPage::is_checked(const ElementRecord& element) {
  const Json answer = call_in_world(scripts::ACT, act("checked", element));
  const Json state = answer.is_object() ? answer.value("checked", Json()) : Json();
  if (!outcome_of(answer).done() || !state.is_boolean()) return std::nullopt;
  return state.get<bool>();
}

ActOutcome ChromiumPage::set_checked(const ElementRecord& element, bool checked, Clock::time_point deadline) {
  const Json before = call_in_world(scripts::ACT, act("checked", element));
  if (ActOutcome outcome = outcome_of(before); !outcome.done()) return outcome;
  if (before.value("checked", !checked) == checked) return {};
  if (!checked && before.value("radio", false)) {
    return ActOutcome::unsuitable(before.value("name", std::string("the element")) +
                                  " is a radio button, which is unchecked only by choosing another of its group");
  }
  auto aimed = aim(element, "check", deadline, "before the click");
  const Spot* at = std::get_if<Spot>(&aimed);
  if (at == nullptr) return std::get<ActOutcome>(aimed);
  forget_loads();
  try {
    press_mouse(*at, {});
  } catch (const PageError& error) {
    // The click's own effect; the state can be read once the dialog is answered.
    if (!is_dialog(error)) throw;
    return {};
  }
  settle();
  const Json after = call_in_world(scripts::ACT, act("checked", element, checked, STATE_CHANGE_WAIT));
  if (ActOutcome outcome = outcome_of(after); !outcome.done()) return outcome;
  if (after.value("checked", !checked) == checked) return {};
  return ActOutcome::blocked("clicking " + after.value("name", std::string("the element")) + " did not " +
                             (checked ? "check" : "uncheck") + " it");
}

ActOutcome ChromiumPage::press(const std::vector<Chord>& chords) {
  forget_loads();
  for (std::size_t i = 0; i < chords.size(); ++i) {
    const Chord& chord = chords[i];
    try {
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
    } catch (const PageError& error) {
      if (!is_dialog(error)) throw;
      // The last key's own effect, or keys left unpressed.
      if (i + 1 == chords.size()) return {};
      return ActOutcome::unsuitable(dialog_opened("while pressing keys"));
    }
  }
  settle();
  return {};
}

ActOutcome ChromiumPage::type_characters(const std::string& characters) {
  forget_loads();
  const std::u32string all = text::decode(characters);
  for (std::size_t i = 0; i < all.size(); ++i) {
    const Key key = key_for_character(text::encode(std::u32string(1, all[i])));
    try {
      key_event("keyDown", key, 0);
      key_event("keyUp", key, 0);
    } catch (const PageError& error) {
      if (!is_dialog(error)) throw;
      if (i + 1 == all.size()) return {};
      return ActOutcome::unsuitable(dialog_opened("while typing") + " (after " + std::to_string(i + 1) + " of " +
                                    std::to_string(all.size()) + " characters)");
    }
  }
  settle();
  return {};
}

}  // namespace quillfen::chromium
