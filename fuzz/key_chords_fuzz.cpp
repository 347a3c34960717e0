// Feeds arbitrary text to the key-chord reader, as a `press` or `sendkeys` value would
// reach it (valid UTF-8, as the step reader hands values out). Beyond the sanitizers it
// checks that a chord's modifier bits are those of its held keys, that a shortcut types
// nothing (but Enter's return), that a chord written back from what was read reads the same, and that a
// sequence reads exactly when each of its blank-separated tokens does.
#include "chromium/keys.hpp"
#include "engine/core/text.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace quillfen;
using namespace quillfen::chromium;

void require(bool condition) {
  if (!condition) std::abort();
}

bool same_key(const Key& a, const Key& b) {
  return a.key == b.key && a.code == b.code && a.key_code == b.key_code && a.text == b.text;
}

// The chord written with the key names it was read as: "Control+Shift+Z".
std::string written(const Chord& chord) {
  std::string out;
  for (const Key& held : chord.modifier_keys) out += held.key + "+";
  return out + (chord.key.key == " " ? std::string("Space") : chord.key.key);
}

void check_chord(const Chord& chord) {
  int bits = 0;
  for (const Key& held : chord.modifier_keys) {
    require(modifier_bit(held) != 0);
    bits |= modifier_bit(held);
  }
  require(bits == chord.modifiers);
  require(!chord.key.key.empty());
  require(chord.key.key_code >= 0 && chord.key.key_code <= 255);
  if ((chord.modifiers & (CONTROL | ALT | META)) != 0) require(chord.key.text.empty() || chord.key.text == "\r");
  require(text::valid_utf8(chord.key.key) == chord.key.key && text::valid_utf8(chord.key.text) == chord.key.text);

  const auto again = parse_chord(written(chord));
  require(again.has_value());
  require(again->modifiers == chord.modifiers && same_key(again->key, chord.key));
  require(again->modifier_keys.size() == chord.modifier_keys.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string raw(reinterpret_cast<const char*>(data), size);
  // Invalid UTF-8 must not crash either, though values never hold it.
  (void)parse_chords(raw);
  const std::string value = text::valid_utf8(raw);

  if (const auto chord = parse_chord(value)) check_chord(*chord);

  const std::vector<std::string> tokens = text::split_ws(value);
  const auto chords = parse_chords(value);
  bool every_token = !tokens.empty();
  for (const auto& token : tokens) every_token = every_token && parse_chord(token).has_value();
  require(chords.has_value() == every_token);
  if (chords) {
    require(chords->size() == tokens.size());
    for (const Chord& chord : *chords) check_chord(chord);
  }
  return 0;
}
