#include "engine/agent/step_reader.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillfen {
namespace {

using std::nullopt;
using Opt = std::optional<std::string>;

struct Expected {
  std::string line;
  std::string action;
  Opt target;
  Opt value;
  std::optional<int> ordinal;
  bool literal;
};

void expect_parses(const std::vector<Expected>& cases) {
  const StepReader reader;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    ParsedInstruction p;
    ASSERT_NO_THROW(p = reader.parse(c.line));
    EXPECT_EQ(p.action, c.action);
    EXPECT_EQ(p.target, c.target);
    EXPECT_EQ(p.value, c.value);
    EXPECT_EQ(p.ordinal, c.ordinal);
    EXPECT_EQ(p.literal_target, c.literal);
  }
}

std::string rejection_of(const std::string& line) {
  try {
    StepReader().parse(line);
  } catch (const std::invalid_argument& e) {
    return e.what();
  }
  return "(accepted)";
}

const std::string kSupported =
    ". Supported actions: ['click', 'type', 'hover', 'select', 'press_key', 'sendkeys', 'extract_text', "
    "'extract_text_spatial', 'find_text', 'find_exact_text', 'verify_present', 'verify_visible', "
    "'verify_enabled', 'verify_disabled', 'verify_text_present', 'verify_text_visible', "
    "'verify_spatial_text', 'accept_dialog', 'dismiss_dialog', 'verify_dialog']";

TEST(StepReader, TypeAndSelectSplitAtTheFirstKeywordAfterThePrefix) {
  expect_parses({
      {R"(type standard_user into "Username")", "type", "Username", "standard_user", nullopt, true},
      {"type John into the Email field", "type", "Email field", "John", nullopt, false},
      {R"(type x into the "Email")", "type", "Email", "x", nullopt, true},
      {R"(type "a into b" into "Box")", "type", "b into Box", "a", nullopt, false},
      {"type  hello  into Name", "type", "Name", " hello ", nullopt, false},
      {"TYPE abc INTO Field", "type", "Field", "abc", nullopt, false},
      {"type into into X", "type", "X", "into", nullopt, false},
      {"type  into X", "type", "X", "", nullopt, false},
      {R"(select Red from the "Colour")", "select", "Colour", "Red", nullopt, true},
      {"SELECT Large  FROM size", "select", "size", "Large ", nullopt, false},
  });
}

TEST(StepReader, RejectsUnreadableLinesWithTheSupportedActions) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"foo", "'foo'"},
      {"", "''"},
      {"  foo ", "'  foo '"},                 // the line as passed in, untrimmed
      {"don't click", "\"don't click\""},   // a single quote switches to double quotes
      {"it's \"x\"", "'it\\'s \"x\"'"},   // both quotes: single quotes, escaped
      {"click\tme", "'click\\tme'"},
      {"click\u00a0Log in", "'click\\xa0Log in'"},  // a no-break space is no prefix blank
      // The only keyword begins inside the prefix: no text to type or option to pick, so
      // neither form matches.
      {"type into Name", "'type into Name'"},
      {"select from Colour", "'select from Colour'"},
      {"type hello", "'type hello'"},
      {"type hello into", "'type hello into'"},
      {"verify dialog", "'verify dialog'"},
      {"back", "'back'"},
      {"refresh", "'refresh'"},
      {"wait", "'wait'"},
      {"click", "'click'"},
      {"accept  dialog", "'accept  dialog'"},
      {"accept dialog now", "'accept dialog now'"},
      {"verify text next to Total", "'verify text next to Total'"},
      {"verify text below X is", "'verify text below X is'"},
      {"verify Submit button", "'verify Submit button'"},
  };
  for (const auto& [line, shown] : cases) {
    EXPECT_EQ(rejection_of(line), "Unrecognised instruction: " + shown + kSupported) << line;
  }
}

TEST(StepReader, ClickTakesOrdinalBeforeTheLiteralTest) {
  expect_parses({
      {R"(click "Log in")", "click", "Log in", nullopt, 1, true},
      {R"(click second "Submit")", "click", "Submit", nullopt, 2, true},
      {R"(click "First Name")", "click", "Name", nullopt, 1, false},
      {R"(click "second")", "click", "", nullopt, 2, false},
      {"click the first button", "click", "first button", nullopt, 1, false},
      {R"(click first button next to "Sign up")", "click", "button next to Sign up", nullopt, 1, false},
      {"click fifth", "click", "", nullopt, 5, false},
      {"click FOURTH   the  row  ", "click", "row", nullopt, 4, false},
      {"click sixth row", "click", "sixth row", nullopt, 1, false},
      {R"(hover the "Menu")", "hover", "Menu", nullopt, nullopt, true},
      {"hover first item", "hover", "first item", nullopt, nullopt, false},
  });
}

TEST(StepReader, ExtractAndFindForms) {
  expect_parses({
      {R"(extract text below "Total")", "extract_text_spatial", "below Total", nullopt, nullopt, false},
      {"extract text Near the price", "extract_text_spatial", "Near the price", nullopt, nullopt, false},
      {"extract text from second price", "extract_text", "price", nullopt, 2, false},
      {"extract_text from below Total", "extract_text", "below Total", nullopt, 1, false},
      {R"(extract text "Order id")", "extract_text", "Order id", nullopt, 1, true},
      {"find exact text  Total: 5", "find_exact_text", " Total: 5", nullopt, nullopt, false},
      {R"(find exact text "Total")", "find_exact_text", "Total", nullopt, nullopt, true},
      {"find text the  Cart", "find_text", "Cart", nullopt, nullopt, false},
      {R"(find text  "Cart")", "find_text", "Cart", nullopt, nullopt, true},
  });
}

TEST(StepReader, VerifyFormsTryDirectionBeforeStates) {
  expect_parses({
      {R"(verify text next to "Potential Returns" is $29.00)", "verify_spatial_text", "next to Potential Returns",
       "$29.00", nullopt, false},
      {"verify text near Total is present", "verify_spatial_text", "near Total", "present", nullopt, false},
      {"verify text below Status is is ok", "verify_spatial_text", "below Status is", "ok", nullopt, false},
      {"verify text Welcome back is visible", "verify_text_visible", "Welcome back", nullopt, nullopt, false},
      {R"(verify text "the Cart" is present)", "verify_text_present", "the Cart", nullopt, nullopt, true},
      {"verify text Log in is enabled", "verify_enabled", "text Log in", nullopt, nullopt, false},
      {R"(verify "Products" is present)", "verify_present", "Products", nullopt, nullopt, true},
      {"Verify The Cart Is Visible", "verify_visible", "Cart", nullopt, nullopt, false},
      {"verify Welcomeis present", "verify_present", "Welcome", nullopt, nullopt, false},
      {"verify Submit is disabled", "verify_disabled", "Submit", nullopt, nullopt, false},
      {"verify dialog says  Saved!", "verify_dialog", nullopt, " Saved!", nullopt, false},
  });
}

TEST(StepReader, KeyDialogNavigationAndWaitForms) {
  expect_parses({
      {"Accept Dialog", "accept_dialog", nullopt, nullopt, nullopt, false},
      {"dismiss dialog", "dismiss_dialog", nullopt, nullopt, nullopt, false},
      {"navigate 'https://shop.example/login'", "navigate", "https://shop.example/login", nullopt, nullopt, false},
      {R"(navigate  "'file:///a b.html'" )", "navigate", "file:///a b.html", nullopt, nullopt, false},
      {"press  Enter", "press_key", "Enter", nullopt, nullopt, false},
      {"sendkeys Control+A", "sendkeys", "Control+A", "Control+A", nullopt, false},
      {R"(sendkeys "Shift+Tab")", "sendkeys", "Shift+Tab", "Shift+Tab", nullopt, false},
      {"wait 500", "wait", "500", nullopt, nullopt, false},
      {"wait soon", "wait", "soon", nullopt, nullopt, false},
  });
}

TEST(StepReader, UnicodeCaseAndWhiteSpaceWorkPerCodePoint) {
  expect_parses({
      // The Kelvin sign lower-cases to k: a click line, cut at the same code point.
      {"clic\u212A \"Log in\"", "click", "Log in", nullopt, 1, true},
      {"CLICK ÜBER UNS", "click", "ÜBER UNS", nullopt, 1, false},
      {"click SECOND Größe", "click", "Größe", nullopt, 2, false},
      {"\u00a0\u3000click  the\u00a0 Sign in \u2003", "click", "Sign in", nullopt, 1, false},
      {"type ключ into Поле", "type", "Поле", "ключ", nullopt, false},
  });
  // A Cyrillic Т looks like a T but is no prefix letter.
  EXPECT_EQ(rejection_of("ТYPE x into y"), "Unrecognised instruction: 'ТYPE x into y'" + kSupported);
}

TEST(StepReader, HelpersFollowTheQuoteStopWordAndOrdinalRules) {
  const StepReader reader;
  using Unquoted = std::pair<std::string, std::vector<std::string>>;
  EXPECT_EQ(reader._unquote(R"(click "Log in")"), (Unquoted{"click Log in", {"Log in"}}));
  EXPECT_EQ(reader._unquote(R"(type "a" into "b c")"), (Unquoted{"type a into b c", {"a", "b c"}}));
  // An empty pair matches nothing, but its second quote may open the next name.
  EXPECT_EQ(reader._unquote(R"(click "" x")"), (Unquoted{R"(click " x)", {" x"}}));
  EXPECT_EQ(reader._unquote(R"(say "hi)"), (Unquoted{R"(say "hi)", {}}));
  EXPECT_EQ(reader._unquote("'single' quotes"), (Unquoted{"'single' quotes", {}}));
  EXPECT_EQ(reader._unquote("\"a\nb\""), (Unquoted{"a\nb", {"a\nb"}}));

  EXPECT_EQ(reader._clean_target("the login button"), "login button");
  EXPECT_EQ(reader._clean_target("On THE An  a in at into x  y "), "x y");
  EXPECT_EQ(reader._clean_target("button on the left"), "button on the left");
  EXPECT_EQ(reader._clean_target(" the \u00a0 "), "");
  EXPECT_EQ(reader._clean_target("theme"), "theme");

  using Ordinal = std::pair<int, std::string>;
  EXPECT_EQ(_extract_ordinal("second Submit"), (Ordinal{2, "Submit"}));
  EXPECT_EQ(_extract_ordinal("Third"), (Ordinal{3, ""}));
  EXPECT_EQ(_extract_ordinal("the first button"), (Ordinal{1, "the first button"}));
  EXPECT_EQ(_extract_ordinal("  FIFTH\u00a0 row  "), (Ordinal{5, "row  "}));
  EXPECT_EQ(_extract_ordinal("firstly"), (Ordinal{1, "firstly"}));
  EXPECT_EQ(_extract_ordinal("   "), (Ordinal{1, "   "}));
}

TEST(StepReader, MalformedAndHugeLinesGiveValidUtf8) {
  const StepReader reader;
  // Invalid bytes become U+FFFD; NUL is an ordinary character.
  const auto p = reader.parse(std::string("type a\0b into \xff\xc3\"\xe2\x82\"", 20));
  EXPECT_EQ(p.value, std::string("a\0b", 3));
  EXPECT_EQ(p.target, "\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(reader.parse("click \"\xed\xa0\x80\"").target, "\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(rejection_of("\xff"), "Unrecognised instruction: '\uFFFD'" + kSupported);

  const std::string big(1 << 20, 'x');
  EXPECT_EQ(reader.parse("click the " + big).target, big);
  std::string many_names = "click ";
  for (int i = 0; i < 100000; ++i) many_names += "\"ab\" ";
  EXPECT_EQ(reader.parse(many_names + "\"zz\"").literal_target, false);
  EXPECT_EQ(reader.parse(many_names + "\"ab\"").target->size(), 3u * 100001 - 1);
  EXPECT_NO_THROW(reader.validate(std::string(1 << 20, '"') + "x"));
  EXPECT_EQ(reader.validate("wait " + std::string(1 << 20, '7')), std::vector<std::string>{});
}

TEST(StepReader, ValidateReportsEachSyntaxIssue) {
  const std::string missing_into = "`type` instruction missing `into` keyword. Expected: type <text> into <target>";
  const std::string missing_text = "`type` instruction missing text to type. Expected: type <text> into <target>";
  const std::string missing_state =
      "`verify` instruction missing state. Expected ending: is present | is visible | is enabled | is disabled";
  const std::string missing_text_state =
      "`verify text` instruction missing state. Expected ending: is present | is visible";
  const std::string unknown_tail =
      ". Expected one of: click, type, verify, hover, select, press, wait, find, extract, sendkeys.";
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"   ", {"Instruction is empty."}},
      {"\u00a0\n", {"Instruction is empty."}},
      {R"( click "Log in )", {R"(Unbalanced quote — missing closing `"` in: 'click "Log in')"}},
      {R"(type "it's" into "x)", {R"(Unbalanced quote — missing closing `"` in: 'type "it\'s" into "x')"}},
      {"tap Submit", {"Unknown action 'tap'" + unknown_tail}},
      {"TAP\tSubmit", {"Unknown action 'tap'" + unknown_tail}},
      {"don't", {"Unknown action \"don't\"" + unknown_tail}},
      {"Click the button", {}},
      {"back", {}},
      {"refresh", {}},
      {"accept whatever", {}},
      {"navigate", {}},
      {"type hello", {missing_into}},
      {"type hello into", {missing_into}},
      {"type  into X", {missing_text}},
      {"type into X", {missing_text}},  // the only " into " is part of the prefix
      {"type \u00a0 into X", {missing_text}},
      {"type x into \"Name\"", {}},
      {"type \"a into b\" into Name", {}},
      {"select Red", {"`select` instruction missing `from` keyword. Expected: select <value> from <target>"}},
      {"select from Colour", {}},
      {"verify Submit button", {missing_state}},
      {"verify Submit is enabled", {}},
      {"VERIFY SUBMIT IS DISABLED", {}},
      {"verify dialog says Saved", {}},
      {"verify dialog", {}},
      {"verify text Welcome", {missing_text_state}},
      {"verify text Welcome is visible", {}},
      {"verify text Welcome is enabled", {missing_text_state}},
      {"verify text next to Price is 9", {}},
      {"verify text leftover is 9", {}},
      {"verify text near Price is 9", {missing_text_state}},
      {"verify text under Price is 9", {missing_text_state}},
      {"wait 500", {}},
      {"wait \"500\"", {}},
      {"wait '\"250\"'", {"`wait` value must be a number in milliseconds. Got: '\"250\"'"}},
      {"wait \u0665\u0660", {}},  // Arabic-Indic digits are digits
      {"wait 1.5", {"`wait` value must be a number in milliseconds. Got: '1.5'"}},
      {"wait -3", {"`wait` value must be a number in milliseconds. Got: '-3'"}},
      {"wait abc", {"`wait` value must be a number in milliseconds. Got: 'abc'"}},
      {"wait \"\"", {"`wait` value must be a number in milliseconds. Got: ''"}},
      {"wait it's", {"`wait` value must be a number in milliseconds. Got: \"it's\""}},
  };
  const StepReader reader;
  for (const auto& [line, issues] : cases) EXPECT_EQ(reader.validate(line), issues) << line;
}

TEST(StepReader, ValidateAllKeysIssuesByLineNumber) {
  const StepReader reader;
  const auto failures = reader.validate_all({"click A", "tap B", "wait x", "", "hover C"});
  ASSERT_EQ(failures.size(), 3u);
  EXPECT_EQ(failures.begin()->first, 2);
  EXPECT_EQ(failures.at(2), std::vector<std::string>{"Unknown action 'tap'. Expected one of: click, type, verify, "
                                                     "hover, select, press, wait, find, extract, sendkeys."});
  EXPECT_EQ(failures.at(3).size(), 1u);
  EXPECT_EQ(failures.at(4), std::vector<std::string>{"Instruction is empty."});
  EXPECT_TRUE(reader.validate_all({"click A", "wait 1"}).empty());
}

}  // namespace
}  // namespace quillfen
