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
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    ParsedInstruction p;
    ASSERT_NO_THROW(p = StepReader().parse(c.line));
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
      {"SELECT Large  FROM the \"size\"", "select", "size", "Large ", nullopt, true},
  });
}

TEST(StepReader, OrdinalsComeBeforeTheLiteralTest) {
  expect_parses({
      {R"(click second "Submit")", "click", "Submit", nullopt, 2, true},
      {R"(click "First Name")", "click", "Name", nullopt, 1, false},
      {"click the first button", "click", "first button", nullopt, 1, false},
      {R"(click first button next to "Sign up")", "click", "button next to Sign up", nullopt, 1, false},
      {"click FIFTH", "click", "", nullopt, 5, false},
      {"click sixth row", "click", "sixth row", nullopt, 1, false},
      {"hover first item", "hover", "first item", nullopt, nullopt, false},
      {R"(extract text below "Total")", "extract_text_spatial", "below Total", nullopt, nullopt, false},
      {"extract text from second price", "extract_text", "price", nullopt, 2, false},
      {"extract_text from below Total", "extract_text", "below Total", nullopt, 1, false},
      {"find exact text  Total: 5", "find_exact_text", " Total: 5", nullopt, nullopt, false},
      {R"(find text  "Cart")", "find_text", "Cart", nullopt, nullopt, true},
  });
}

TEST(StepReader, VerifyDialogKeyAndWaitForms) {
  expect_parses({
      {R"(verify text next to "Potential Returns" is $29.00)", "verify_spatial_text", "next to Potential Returns",
       "$29.00", nullopt, false},
      {"verify text near Total is present", "verify_spatial_text", "near Total", "present", nullopt, false},
      {"verify text below Status is is ok", "verify_spatial_text", "below Status is", "ok", nullopt, false},
      {R"(verify text "the Cart" is visible)", "verify_text_visible", "the Cart", nullopt, nullopt, true},
      {"verify text Log in is enabled", "verify_enabled", "text Log in", nullopt, nullopt, false},
      {"Verify The Cart Is Visible", "verify_visible", "Cart", nullopt, nullopt, false},
      {"verify Welcomeis disabled", "verify_disabled", "Welcome", nullopt, nullopt, false},
      {"verify dialog says  Saved!", "verify_dialog", nullopt, " Saved!", nullopt, false},
      {"Accept Dialog", "accept_dialog", nullopt, nullopt, nullopt, false},
      {R"(navigate  "'file:///a b.html'" )", "navigate", "file:///a b.html", nullopt, nullopt, false},
      {"press  Enter", "press_key", "Enter", nullopt, nullopt, false},
      {R"(sendkeys "Shift+Tab")", "sendkeys", "Shift+Tab", "Shift+Tab", nullopt, false},
      {"wait soon", "wait", "soon", nullopt, nullopt, false},
  });
}

TEST(StepReader, UnicodeCaseAndWhiteSpaceWorkPerCodePoint) {
  expect_parses({
      // The Kelvin sign lower-cases to k: a click line, cut at the same code point.
      {"clic\u212A \"Log in\"", "click", "Log in", nullopt, 1, true},
      {"click SECOND Größe", "click", "Größe", nullopt, 2, false},
      {"\u00a0\u3000click  the\u00a0 Sign in \u2003", "click", "Sign in", nullopt, 1, false},
      {"type ключ into Поле", "type", "Поле", "ключ", nullopt, false},
  });
}

TEST(StepReader, RejectsUnreadableLinesWithTheSupportedActions) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"foo", "'foo'"},
      {"  foo ", "'  foo '"},                 // the line as passed in, untrimmed
      {"don't click", "\"don't click\""},     // a single quote switches to double quotes
      {"it's \"x\"", "'it\\'s \"x\"'"},       // both quotes: single quotes, escaped
      {"click\u00a0Log in", "'click\\xa0Log in'"},  // a no-break space is no prefix blank
      {"ТYPE x into y", "'ТYPE x into y'"},   // a Cyrillic Т is no T
      // The only keyword begins inside the prefix: no text to type or option to pick, so
      // neither form matches.
      {"type into Name", "'type into Name'"},
      {"select from Colour", "'select from Colour'"},
      {"verify dialog", "'verify dialog'"},
      {"back", "'back'"},
      {"accept  dialog", "'accept  dialog'"},
      {"verify text below X is", "'verify text below X is'"},
  };
  for (const auto& [line, shown] : cases) {
    EXPECT_EQ(rejection_of(line), "Unrecognised instruction: " + shown + kSupported) << line;
  }
}

TEST(StepReader, HelpersFollowTheQuoteStopWordAndOrdinalRules) {
  const StepReader reader;
  using Unquoted = std::pair<std::string, std::vector<std::string>>;
  EXPECT_EQ(reader._unquote(R"(type "a" into "b c")"), (Unquoted{"type a into b c", {"a", "b c"}}));
  // An empty pair matches nothing, but its second quote may open the next name.
  EXPECT_EQ(reader._unquote(R"(click "" x")"), (Unquoted{R"(click " x)", {" x"}}));
  EXPECT_EQ(reader._unquote(R"('single' "hi)"), (Unquoted{R"('single' "hi)", {}}));

  EXPECT_EQ(reader._clean_target("On THE An  a in at into x  y "), "x y");
  EXPECT_EQ(reader._clean_target("button on the left"), "button on the left");
  EXPECT_EQ(reader._clean_target("theme"), "theme");

  using Ordinal = std::pair<int, std::string>;
  EXPECT_EQ(_extract_ordinal("Third"), (Ordinal{3, ""}));
  EXPECT_EQ(_extract_ordinal("the first button"), (Ordinal{1, "the first button"}));
  EXPECT_EQ(_extract_ordinal("  FIFTH\u00a0 row  "), (Ordinal{5, "row  "}));
  EXPECT_EQ(_extract_ordinal("firstly"), (Ordinal{1, "firstly"}));
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
  EXPECT_FALSE(reader.parse(many_names + "\"zz\"").literal_target);
  EXPECT_NO_THROW(reader.validate(std::string(1 << 20, '"') + "x"));
}

TEST(StepReader, ValidateReportsEachSyntaxIssue) {
  const std::string missing_into = "`type` instruction missing `into` keyword. Expected: type <text> into <target>";
  const std::string missing_text = "`type` instruction missing text to type. Expected: type <text> into <target>";
  const std::string missing_state =
      "`verify` instruction missing state. Expected ending: is present | is visible | is enabled | is disabled";
  const std::string missing_text_state =
      "`verify text` instruction missing state. Expected ending: is present | is visible";
  const std::string wait_issue = "`wait` value must be a number in milliseconds. Got: ";
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"\u00a0\n ", {"Instruction is empty."}},
      {R"( click "Log in )", {R"(Unbalanced quote — missing closing `"` in: 'click "Log in')"}},
      {R"(type "it's" into "x)", {R"(Unbalanced quote — missing closing `"` in: 'type "it\'s" into "x')"}},
      {"TAP\tSubmit", {"Unknown action 'tap'. Expected one of: click, type, verify, hover, select, press, wait, find, "
                       "extract, sendkeys."}},
      {"back", {}},
      {"type hello into", {missing_into}},
      {"type  into X", {missing_text}},
      {"type into X", {missing_text}},  // the only " into " is part of the prefix
      {"type \"a into b\" into Name", {}},
      {"select Red", {"`select` instruction missing `from` keyword. Expected: select <value> from <target>"}},
      {"select from Colour", {}},
      {"verify Submit button", {missing_state}},
      {"VERIFY SUBMIT IS DISABLED", {}},
      {"verify dialog", {}},
      {"verify text Welcome is enabled", {missing_text_state}},
      {"verify text leftover is 9", {}},
      {"verify text near Price is 9", {missing_text_state}},
      {"wait \"500\"", {}},
      {"wait \u0665\u0660", {}},  // Arabic-Indic digits are digits
      {"wait 1.5", {wait_issue + "'1.5'"}},
      {"wait '\"250\"'", {wait_issue + "'\"250\"'"}},
      {"wait it's", {wait_issue + "\"it's\""}},
  };
  const StepReader reader;
  for (const auto& [line, issues] : cases) EXPECT_EQ(reader.validate(line), issues) << line;
}

TEST(StepReader, ValidateAllKeysIssuesByLineNumber) {
  const auto failures = StepReader().validate_all({"click A", "tap B", "wait x", "", "hover C"});
  ASSERT_EQ(failures.size(), 3u);
  EXPECT_EQ(failures.begin()->first, 2);
  EXPECT_EQ(failures.at(3).size(), 1u);
  EXPECT_EQ(failures.at(4), std::vector<std::string>{"Instruction is empty."});
}

}  // namespace
}  // namespace quillfen
