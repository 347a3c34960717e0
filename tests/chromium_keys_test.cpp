// Key names as test authors write them, read into the key events a keyboard sends.
#include "chromium/keys.hpp"

#include <gtest/gtest.h>

namespace quillfen::chromium {
namespace {

TEST(Keys, ReadsNamedKeysModifiersAndCharacters) {
  const auto enter = parse_chord("enter");
  ASSERT_TRUE(enter);
  EXPECT_EQ(enter->key.key, "Enter");
  EXPECT_EQ(enter->key.key_code, 13);
  EXPECT_EQ(enter->key.text, "\r");  // Enter submits forms because it types a return
  EXPECT_EQ(parse_chord("Esc")->key.key, "Escape");
  EXPECT_EQ(parse_chord("Down")->key.key, "ArrowDown");

  // "Control+A" is the a key with Control held: a shortcut, which inserts nothing.
  const auto select_all = parse_chord("Control+A");
  ASSERT_TRUE(select_all);
  EXPECT_EQ(select_all->modifiers, CONTROL);
  ASSERT_EQ(select_all->modifier_keys.size(), 1u);
  EXPECT_EQ(select_all->modifier_keys[0].key, "Control");
  EXPECT_EQ(select_all->key.key, "a");
  EXPECT_EQ(select_all->key.code, "KeyA");
  EXPECT_EQ(select_all->key.key_code, 65);
  EXPECT_EQ(select_all->key.text, "");

  const auto redo = parse_chord("ctrl+shift+z");
  ASSERT_TRUE(redo);
  EXPECT_EQ(redo->modifiers, CONTROL | SHIFT);
  EXPECT_EQ(redo->key.key, "Z");

  const auto back_tab = parse_chord("Shift+Tab");
  ASSERT_TRUE(back_tab);
  EXPECT_EQ(back_tab->modifiers, SHIFT);
  EXPECT_EQ(back_tab->key.key, "Tab");

  // Space types nothing in a shortcut either, however it is written; Enter keeps its
  // return, which submits forms.
  for (const char* space : {"Control+Space", "Control+ ", "alt+space"}) {
    const auto chord = parse_chord(space);
    ASSERT_TRUE(chord) << space;
    EXPECT_EQ(chord->key.key, " ") << space;
    EXPECT_EQ(chord->key.text, "") << space;
  }
  EXPECT_EQ(parse_chord("Shift+Space")->key.text, " ");
  EXPECT_EQ(parse_chord("Control+Enter")->key.text, "\r");

  EXPECT_EQ(parse_chord("Shift++")->key.key, "+");  // the plus key itself
  EXPECT_EQ(parse_chord("x")->key.text, "x");
  EXPECT_EQ(parse_chord("Shift")->key.key, "Shift");

  for (const char* bad : {"", "Foo", "Control+", "Control+Foo", "Hyper+A", "hello"}) {
    EXPECT_FALSE(parse_chord(bad)) << bad;
  }
}

TEST(Keys, ReadsKeySequencesAndTellsThemFromText) {
  const auto keys = parse_chords("Control+A  Backspace");
  ASSERT_TRUE(keys);
  ASSERT_EQ(keys->size(), 2u);
  EXPECT_EQ((*keys)[1].key.key, "Backspace");
  // Words that are not all keys are text to type.
  EXPECT_FALSE(parse_chords("hello world"));
  EXPECT_FALSE(parse_chords("   "));

  EXPECT_EQ(key_for_character("?").code, "Slash");
  EXPECT_EQ(key_for_character("7").code, "Digit7");
  EXPECT_EQ(key_for_character("é").code, "");  // no key of its own; typed as text
  EXPECT_EQ(key_for_character("é").text, "é");
  EXPECT_EQ(modifier_bit(parse_chord("Alt")->key), ALT);
  EXPECT_EQ(modifier_bit(parse_chord("a")->key), 0);
}

}  // namespace
}  // namespace quillfen::chromium
