// Key names as test authors write them ("Enter", "Control+A", "Shift+Tab", "ArrowDown")
// turned into the key events a keyboard would send.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillfen::chromium {

// One key as the browser's input events describe it.
struct Key {
  std::string key;   // the DOM `key` value: "Enter", "a", "A", "ArrowDown"
  std::string code;  // the physical key: "Enter", "KeyA", "ArrowDown"
  int key_code = 0;  // the Windows virtual key code
  std::string text;  // what the key inserts, "" for keys that insert nothing
};

// Bits of the protocol's `modifiers` field.
enum Modifier : int { ALT = 1, CONTROL = 2, META = 4, SHIFT = 8 };

// A key pressed while some modifiers are held: "Control+A". `modifier_keys` are the
// held keys in the order written; `modifiers` their combined bits.
struct Chord {
  std::vector<Key> modifier_keys;
  int modifiers = 0;
  Key key;
};

// The modifier bit of a modifier key ("Control", "Shift", "Alt", "Meta"), else 0.
int modifier_bit(const Key& key);

// Reads one chord: modifier names and one key joined by "+". Names are matched without
// regard to case, with the usual aliases (Ctrl, Esc, Return, Up, Del, Cmd, Space). A
// single character is the key that types it. None for anything else.
std::optional<Chord> parse_chord(std::string_view text);

// Reads blank-separated chords ("Control+A Backspace"); none when any token is not one.
std::optional<std::vector<Chord>> parse_chords(std::string_view text);

// The key that types one character (a letter, digit or sign of a US keyboard, or any
// other character, which gets no physical code).
Key key_for_character(std::string_view character);

}  // namespace quillfen::chromium
