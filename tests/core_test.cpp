#include "engine/core/records.hpp"
#include "engine/core/text.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace quillfen {
namespace {

TEST(Text, LowerCasesEveryScriptOneCodePointEach) {
  EXPECT_EQ(text::lower("ÜBER UNS"), "über uns");
  EXPECT_EQ(text::lower("ΣΟΦΙΑ"), "σοφια");
  // The Kelvin sign lowers to a plain k and keeps the code-point count.
  EXPECT_EQ(text::lower("clic\u212A"), "click");
  EXPECT_EQ(text::length(text::lower("İstanbul")), text::length("İstanbul"));
}

TEST(Text, TrimsUnicodeWhiteSpaceOnly) {
  EXPECT_EQ(text::trim("\u00a0 Total\u2003\n"), "Total");
  EXPECT_EQ(text::trim("\u200bx\u200b"), "\u200bx\u200b");  // zero-width space is not white space
  EXPECT_EQ(text::trim(" \t\r\n "), "");
  EXPECT_EQ(text::trim_left("  a b  "), "a b  ");
  EXPECT_EQ(text::trim_right("  a b  "), "  a b");
  EXPECT_EQ(text::split_ws("\u3000a  b\u00a0c "), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(Text, CountsAndCutsCodePoints) {
  EXPECT_EQ(text::length("€uro"), 4u);
  EXPECT_EQ(text::prefix("€uro", 2), "€u");
  EXPECT_EQ(text::prefix("ab", 10), "ab");
  EXPECT_TRUE(text::contains_digit("abc\u0663"));  // Arabic-Indic three
  EXPECT_FALSE(text::contains_digit("Ⅻ"));          // a letter number, not a digit
}

TEST(Text, ReadsTheValueOfDigitsOfAnyScript) {
  const std::vector<std::pair<char32_t, std::optional<int>>> cases = {
      {U'0', 0}, {U'9', 9}, {U'/', std::nullopt}, {U':', std::nullopt},
      {U'\u0660', 0}, {U'\u0665', 5},  // Arabic-Indic
      {U'\u096F', 9},                   // Devanagari nine
      {U'\uFF17', 7},                   // full-width seven
      // Five runs of mathematical digits touch one another; each starts from zero.
      {U'\U0001D7CE', 0}, {U'\U0001D7D8', 0}, {U'\U0001D7E1', 9}, {U'\U0001D7FF', 9},
      {U'\u2167', std::nullopt},  // Roman numeral eight: a letter number
      {U'\u00B2', std::nullopt},  // superscript two: no decimal digit
      {0x110000, std::nullopt},
  };
  for (const auto& [c, value] : cases) EXPECT_EQ(text::digit_value(c), value) << std::hex << static_cast<std::uint32_t>(c);
}

TEST(Text, InvalidUtf8BecomesReplacementCharacters) {
  const std::string bad = std::string("a\xff\xc3") + "b" + std::string("\xed\xa0\x80");
  EXPECT_EQ(text::valid_utf8(bad), "a\uFFFD\uFFFDb\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(text::length(bad), 7u);
  EXPECT_EQ(text::lower(bad), text::valid_utf8(bad));
  EXPECT_EQ(text::trim(std::string("\0 x", 3)), std::string("\0 x", 3));
}

TEST(Text, QuotedRepresentation) {
  EXPECT_EQ(text::quoted("foo"), "'foo'");
  EXPECT_EQ(text::quoted("it's"), "\"it's\"");
  EXPECT_EQ(text::quoted("it's \"x\""), "'it\\'s \"x\"'");
  EXPECT_EQ(text::quoted("a\\b"), "'a\\\\b'");
  EXPECT_EQ(text::quoted("a\tb\nc\rd"), "'a\\tb\\nc\\rd'");
  EXPECT_EQ(text::quoted("\x01\x7f"), "'\\x01\\x7f'");
  EXPECT_EQ(text::quoted("a\u00a0b\u200bc"), "'a\\xa0b\\u200bc'");
  EXPECT_EQ(text::quoted("über €"), "'über €'");
  EXPECT_EQ(text::quoted("\U000E0001"), "'\\U000e0001'");
  EXPECT_EQ(text::quoted(std::string("\0", 1)), "'\\x00'");
  EXPECT_EQ(text::quoted("\xff"), "'\uFFFD'");
}

TEST(Records, AttributeMapKeepsInsertionOrderAndPlaces) {
  AttributeMap m{{"id", "a"}, {"data-testid", "x"}};
  m.set("class", "c");
  m.set("data-testid", "y");
  std::vector<std::string> keys;
  for (const auto& [k, v] : m) keys.push_back(k);
  EXPECT_EQ(keys, (std::vector<std::string>{"id", "data-testid", "class"}));
  EXPECT_EQ(m.get("data-testid"), "y");
  EXPECT_EQ(m.get("missing"), "");
  EXPECT_EQ(m.find("missing"), nullptr);
}

TEST(Records, ElementJsonKeepsKeyOrderNumbersAndEscapes) {
  ElementRecord e;
  e.tag = "span";
  e.text = "Café";
  e.has_direct_text = true;
  e.attributes.set("id", "x");
  e.bounding_box = BoundingBox{100, 20.5, 3, 4};
  e.is_visible = true;
  e.is_enabled = true;
  e.xpath = "/html[1]";
  EXPECT_EQ(dump_line(to_json(e)),
            R"({"tag":"span","text":"Café","has_direct_text":true,"attributes":{"id":"x"},)"
            R"("bounding_box":{"x":100.0,"y":20.5,"width":3.0,"height":4.0},)"
            R"("is_visible":true,"is_enabled":true,"xpath":"/html[1]"})");
  e.bounding_box->whole = true;
  e.bounding_box->y = 20;
  EXPECT_NE(dump_document(to_json(e)).find("\"y\": 20,"), std::string::npos);
  EXPECT_NE(dump_document(to_json(e)).find("Caf\\u00e9"), std::string::npos);

  const ElementRecord back = element_from_json(to_json(e));
  EXPECT_EQ(dump_line(to_json(back)), dump_line(to_json(e)));
  EXPECT_THROW(element_from_json(Json::parse(R"({"text": 3})")), TypeError);
  EXPECT_THROW(element_from_json(Json::array()), TypeError);
}

TEST(Records, ResolutionResultWritesOnlyItsShapeInOrder) {
  auto el = std::make_shared<ElementRecord>();
  el->tag = "button";
  ResolutionResult r = ResolutionResult::found(el, {el});
  r.anchor_text = "Login";
  r.ordinal = 1;
  r.type_relaxed = false;
  r.actual_type = std::optional<std::string>{};
  const Json j = to_json(r);
  std::vector<std::string> keys;
  for (const auto& [k, v] : j.items()) keys.push_back(k);
  EXPECT_EQ(keys, (std::vector<std::string>{"resolved", "confidence", "element", "anchor_text",
                                            "ordinal", "type_relaxed", "actual_type", "candidates"}));
  EXPECT_TRUE(j["actual_type"].is_null());
  EXPECT_EQ(dump_line(to_json(ResolutionResult::not_resolved())),
            R"({"resolved":false,"confidence":0.0,"element":null,"candidates":[]})");
}

}  // namespace
}  // namespace quillfen
