#include "chromium/keys.hpp"

#include "engine/core/text.hpp"

#include <array>
#include <cctype>

namespace quillfen::chromium {
namespace {

struct NamedKey {
  std::string_view name;  // lower case
  Key key;
};

// Keys that have a name rather than a character. Each alias is its own row.
const std::array<NamedKey, 34> NAMED_KEYS{{
    {"enter", {"Enter", "Enter", 13, "\r"}},
    {"return", {"Enter", "Enter", 13, "\r"}},
    {"tab", {"Tab", "Tab", 9, ""}},
    {"escape", {"Escape", "Escape", 27, ""}},
    {"esc", {"Escape", "Escape", 27, ""}},
    {"backspace", {"Backspace", "Backspace", 8, ""}},
    {"delete", {"Delete", "Delete", 46, ""}},
    {"del", {"Delete", "Delete", 46, ""}},
    {"space", {" ", "Space", 32, " "}},
    {"arrowup", {"ArrowUp", "ArrowUp", 38, ""}},
    {"up", {"ArrowUp", "ArrowUp", 38, ""}},
    {"arrowdown", {"ArrowDown", "ArrowDown", 40, ""}},
    {"down", {"ArrowDown", "ArrowDown", 40, ""}},
    {"arrowleft", {"ArrowLeft", "ArrowLeft", 37, ""}},
    {"left", {"ArrowLeft", "ArrowLeft", 37, ""}},
    {"arrowright", {"ArrowRight", "ArrowRight", 39, ""}},
    {"right", {"ArrowRight", "ArrowRight", 39, ""}},
    {"home", {"Home", "Home", 36, ""}},
    {"end", {"End", "End", 35, ""}},
    {"pageup", {"PageUp", "PageUp", 33, ""}},
    {"pagedown", {"PageDown", "PageDown", 34, ""}},
    {"insert", {"Insert", "Insert", 45, ""}},
    {"f1", {"F1", "F1", 112, ""}},
    {"f2", {"F2", "F2", 113, ""}},
    {"f3", {"F3", "F3", 114, ""}},
    {"f4", {"F4", "F4", 115, ""}},
    {"f5", {"F5", "F5", 116, ""}},
    {"f6", {"F6", "F6", 117, ""}},
    {"f7", {"F7", "F7", 118, ""}},
    {"f8", {"F8", "F8", 119, ""}},
    {"f9", {"F9", "F9", 120, ""}},
    {"f10", {"F10", "F10", 121, ""}},
    {"f11", {"F11", "F11", 122, ""}},
    {"f12", {"F12", "F12", 123, ""}},
}};

struct NamedModifier {
  std::string_view name;  // lower case
  Modifier bit;
  Key key;
};

const std::array<NamedModifier, 9> MODIFIERS{{
    {"control", CONTROL, {"Control", "ControlLeft", 17, ""}},
    {"ctrl", CONTROL, {"Control", "ControlLeft", 17, ""}},
    {"shift", SHIFT, {"Shift", "ShiftLeft", 16, ""}},
    {"alt", ALT, {"Alt", "AltLeft", 18, ""}},
    {"option", ALT, {"Alt", "AltLeft", 18, ""}},
    {"meta", META, {"Meta", "MetaLeft", 91, ""}},
    {"cmd", META, {"Meta", "MetaLeft", 91, ""}},
    {"command", META, {"Meta", "MetaLeft", 91, ""}},
    {"super", META, {"Meta", "MetaLeft", 91, ""}},
}};

// US-keyboard signs: the unshifted and shifted character, the code and the key code.
struct SignKey {
  char plain;
  char shifted;
  std::string_view code;
  int key_code;
};

const std::array<SignKey, 11> SIGN_KEYS{{
    {'-', '_', "Minus", 189},
    {'=', '+', "Equal", 187},
    {'[', '{', "BracketLeft", 219},
    {']', '}', "BracketRight", 221},
    {'\\', '|', "Backslash", 220},
    {';', ':', "Semicolon", 186},
    {'\'', '"', "Quote", 222},
    {',', '<', "Comma", 188},
    {'.', '>', "Period", 190},
    {'/', '?', "Slash", 191},
    {'`', '~', "Backquote", 192},
}};

constexpr std::string_view SHIFTED_DIGITS = ")!@#$%^&*(";

std::optional<Key> named_key(std::string_view lower_name) {
  for (const auto& named : NAMED_KEYS) {
    if (named.name == lower_name) return named.key;
  }
  return std::nullopt;
}

const NamedModifier* named_modifier(std::string_view lower_name) {
  for (const auto& modifier : MODIFIERS) {
    if (modifier.name == lower_name) return &modifier;
  }
  return nullptr;
}

}  // namespace

int modifier_bit(const Key& key) {
  for (const auto& modifier : MODIFIERS) {
    if (modifier.key.key == key.key) return modifier.bit;
  }
  return 0;
}

Key key_for_character(std::string_view character) {
  const std::string c{character};
  if (c.size() == 1) {
    const char ch = c[0];
    if (ch >= 'a' && ch <= 'z') {
      return {c, std::string("Key") + static_cast<char>(ch - 'a' + 'A'), ch - 'a' + 65, c};
    }
    if (ch >= 'A' && ch <= 'Z') return {c, std::string("Key") + ch, ch - 'A' + 65, c};
    if (ch >= '0' && ch <= '9') return {c, std::string("Digit") + ch, ch, c};
    if (ch == ' ') return {" ", "Space", 32, " "};
    if (const auto at = SHIFTED_DIGITS.find(ch); at != std::string_view::npos) {
      return {c, "Digit" + std::to_string(at), static_cast<int>('0' + at), c};
    }
    for (const auto& sign : SIGN_KEYS) {
      if (ch == sign.plain || ch == sign.shifted) {
        return {c, std::string(sign.code), sign.key_code, c};
      }
    }
  }
  return {c, "", 0, c};
}

std::optional<Chord> parse_chord(std::string_view text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  // A trailing "+" is the plus key itself: "Shift++".
  while (start <= text.size()) {
    auto plus = text.find('+', start);
    if (plus == start && plus + 1 == text.size()) plus = std::string_view::npos;
    if (plus == std::string_view::npos) {
      parts.emplace_back(text.substr(start));
      break;
    }
    parts.emplace_back(text.substr(start, plus - start));
    start = plus + 1;
  }
  Chord chord;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    const NamedModifier* modifier = named_modifier(text::lower(parts[i]));
    if (modifier == nullptr) return std::nullopt;
    chord.modifier_keys.push_back(modifier->key);
    chord.modifiers |= modifier->bit;
  }
  const std::string& last = parts.back();
  if (last.empty()) return std::nullopt;
  const std::string last_lower = text::lower(last);
  const bool shortcut = (chord.modifiers & (CONTROL | ALT | META)) != 0;
  if (const auto key = named_key(last_lower)) {
    chord.key = *key;
  } else if (const NamedModifier* modifier = named_modifier(last_lower)) {
    // A modifier pressed on its own ("press Shift").
    chord.key = modifier->key;
  } else if (text::length(last) == 1) {
    // A letter of a chord names the key, so its case follows Shift: "Control+A" is
    // the a key, "Control+Shift+a" the A.
    std::string character = last;
    if (character.size() == 1 && std::isalpha(static_cast<unsigned char>(character[0])) &&
        (shortcut || (chord.modifiers & SHIFT) != 0)) {
      character[0] = static_cast<char>((chord.modifiers & SHIFT) != 0
                                           ? std::toupper(static_cast<unsigned char>(character[0]))
                                           : std::tolower(static_cast<unsigned char>(character[0])));
    }
    chord.key = key_for_character(character);
  } else {
    return std::nullopt;
  }
  // Held modifiers other than Shift turn a key that types a character (Space too) into
  // a shortcut: the page sees the key, but nothing is inserted. Enter keeps its "\r",
  // which is what submits a form.
  if (shortcut && chord.key.text != "\r") chord.key.text.clear();
  return chord;
}

std::optional<std::vector<Chord>> parse_chords(std::string_view text) {
  const std::vector<std::string> tokens = text::split_ws(text);
  if (tokens.empty()) return std::nullopt;
  std::vector<Chord> chords;
  for (const auto& token : tokens) {
    auto chord = parse_chord(token);
    if (!chord) return std::nullopt;
    chords.push_back(std::move(*chord));
  }
  return chords;
}

}  // namespace quillfen::chromium
