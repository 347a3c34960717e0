#include "runner/instruction_reader.hpp"
#include "runner/script_file.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace quillfen::runner {
namespace {

using std::nullopt;
using Opt = std::optional<std::string>;

// The parse of a line as one comparable string: the record as JSON, or the rejection.
std::string outcome(const auto& reader, const std::string& line) {
  try {
    return dump_line(to_json(reader.parse(line)));
  } catch (const std::invalid_argument& e) {
    return std::string("rejected: ") + e.what();
  }
}

// Lines of the grammar's own examples and of the step reader's tests, with the traps a
// user sets, and lines that look like the added forms but belong to the old ones.
const std::vector<std::string> kOldGrammarLines = {
    R"(type standard_user into "Username")", "type John into the Email field", R"(type x into the "Email")",
    R"(type "a into b" into "Box")", "type  hello  into Name", "TYPE abc INTO Field", "type into into X",
    "SELECT Large  FROM the \"size\"", R"(click "Log in")", R"(click second "Submit")", R"(click "First Name")",
    "click the first button", R"(click first button next to "Sign up")", "click fifth", "click FIFTH",
    "click sixth row", "hover first item", R"(extract text below "Total")", "extract text from second price",
    "extract_text from below Total", "find exact text  Total: 5", "find text the  Cart", R"(find text  "Cart")",
    R"(verify text next to "Potential Returns" is $29.00)", "verify text near Total is present",
    "verify text below Status is is ok", R"(verify text "the Cart" is visible)", "verify text Log in is enabled",
    "verify text Welcome back is visible", R"(verify "Products" is present)", "Verify The Cart Is Visible",
    "verify Welcomeis disabled", "verify Welcomeis present", "verify dialog says  Saved!", "Accept Dialog",
    "dismiss dialog", R"(navigate  "'file:///a b.html'" )", "navigate 'https://x.test/a'", "press  Enter",
    R"(sendkeys "Shift+Tab")", "sendkeys Control+A", "wait soon", "wait 500", "wait 99999999999999",
    "clic\u212A \"Log in\"", "click SECOND Größe", "\u00a0\u3000click  the\u00a0 Sign in \u2003",
    "type ключ into Поле", "foo", "  foo ", "don't click", "it's \"x\"", "click\u00a0Log in", "ТYPE x into y",
    "type into Name", "select from Colour", "verify dialog", "back", "refresh", "accept  dialog",
    "accept dialog now", "verify text below X is", "verify text next to Total", "type hello", "wait", "",
    "verify Submit button", "verify text Welcome", "tap Submit",
    // Old forms whose words resemble the added ones: StepReader's reading stands.
    "verify title is present", "verify title is visible", "verify url is enabled",
    "verify text near Total is not present", "verify text below Price is not visible",
    "verify dialog says it is not visible", "click double click Save", "click check box", "hover right click menu",
    "type check into \"Notes\"", "find text is not present", "verify checked box is visible",
    "verify text is not present is present", "verify \"is not visible\" is visible",
};

TEST(InstructionReader, ReadsEveryLineStepReaderReadsExactlyAsItDoes) {
  const StepReader old_reader;
  const InstructionReader reader;
  for (const auto& line : kOldGrammarLines) {
    const std::string old_outcome = outcome(old_reader, line);
    const std::string new_outcome = outcome(reader, line);
    if (old_outcome.starts_with("rejected: ") && !new_outcome.starts_with("rejected: ")) {
      // A line StepReader rejects may only become one of the added forms.
      const std::string action = to_json(reader.parse(line))["action"];
      EXPECT_NE(std::find(EXTRA_ACTIONS.begin(), EXTRA_ACTIONS.end(), action), EXTRA_ACTIONS.end()) << line;
      continue;
    }
    EXPECT_EQ(new_outcome, old_outcome) << line;
  }
}

TEST(InstructionReader, ValidatesOldLinesAsStepReaderDoesButNamesEveryEnding) {
  const StepReader old_reader;
  const InstructionReader reader;
  const std::string old_state =
      "`verify` instruction missing state. Expected ending: is present | is visible | is enabled | is disabled";
  const std::string old_text_state = "`verify text` instruction missing state. Expected ending: is present | is visible";
  std::vector<std::string> lines = kOldGrammarLines;
  lines.insert(lines.end(), {"verify text Welcome is enabled", "verify text near Price is 9", "wait 1.5",
                             "wait \u0665\u0660", "wait it's", "select Red", "type  into X", R"( click "Log in )"});
  for (const auto& line : lines) {
    const auto old_issues = old_reader.validate(line);
    const auto issues = reader.validate(line);
    const bool unread = outcome(reader, line).starts_with("rejected: ");
    if (unread && (old_issues == std::vector<std::string>{old_state} ||
                   old_issues == std::vector<std::string>{old_text_state})) {
      // A verify line that no form reads is told every ending there is.
      ASSERT_EQ(issues.size(), 1u) << line;
      EXPECT_TRUE(issues[0].starts_with(old_issues[0].substr(0, old_issues[0].find(" instruction ")) +
                                        " instruction does not end in a known state. Expected ending: " +
                                        old_issues[0].substr(old_issues[0].find("is present"))))
          << line << "\n" << issues[0];
      continue;
    }
    if (line == "wait 99999999999999") continue;  // beyond the longest wait
    // Among them lines of old forms that StepReader's check finds fault with, such as
    // 'verify text near Total is not present' (a comparison with the text "not present").
    EXPECT_EQ(issues, old_issues) << line;
  }
}

struct Expected {
  std::string line;
  std::string action;
  Opt target;
  Opt value;
  std::optional<int> ordinal;
  bool literal;
};

TEST(InstructionReader, ReadsTheAddedFormsLikeTheirOldNeighbours) {
  const std::vector<Expected> cases = {
      // Acts on an element: an ordinal word first, then the target as click takes it.
      {R"(double click "Save")", "double_click", "Save", nullopt, 1, true},
      {R"(Double-Click second "Row")", "double_click", "Row", nullopt, 2, true},
      {"double click the first item", "double_click", "first item", nullopt, 1, false},
      {"double clic\u212A  the\u00a0 Sign in", "double_click", "Sign in", nullopt, 1, false},
      {R"(right click "File")", "right_click", "File", nullopt, 1, true},
      {"right-click THIRD row", "right_click", "row", nullopt, 3, false},
      {R"(check "Remember me")", "check", "Remember me", nullopt, 1, true},
      {"check the Terms box", "check", "Terms box", nullopt, 1, false},
      {R"(uncheck "First Name")", "uncheck", "Name", nullopt, 1, false},  // the ordinal word goes first
      {"UNCHECK newsletter", "uncheck", "newsletter", nullopt, 1, false},
      // Element states; the endings need no blank before them, as the old ones.
      {R"(verify "Agree" is checked)", "verify_checked", "Agree", nullopt, nullopt, true},
      {"verify the Agree box is unchecked", "verify_unchecked", "Agree box", nullopt, nullopt, false},
      {R"(verify "Agree" is not checked)", "verify_unchecked", "Agree", nullopt, nullopt, true},
      {R"(verify "Banner" is not visible)", "verify_not_visible", "Banner", nullopt, nullopt, true},
      {"Verify The Banner Is Hidden", "verify_not_visible", "Banner", nullopt, nullopt, false},
      {"verify Spinneris not present", "verify_not_present", "Spinner", nullopt, nullopt, false},
      {"verify textual hint is not visible", "verify_not_visible", "textual hint", nullopt, nullopt, false},
      // Text states keep the text as written.
      {"verify text Welcome is not visible", "verify_text_not_visible", "Welcome", nullopt, nullopt, false},
      {R"(verify text "the Cart" is not present)", "verify_text_not_present", "the Cart", nullopt, nullopt, true},
      {"verify text the Cart is not present", "verify_text_not_present", "the Cart", nullopt, nullopt, false},
      {"verify the text field is hidden", "verify_not_visible", "text field", nullopt, nullopt, false},
      // The page's title and address: the expected text is the value.
      {R"(verify title is "Tiny Shop")", "verify_title", nullopt, "Tiny Shop", nullopt, false},
      {"verify title is  Tiny   Shop ", "verify_title", nullopt, "Tiny   Shop", nullopt, false},
      {"Verify Title Contains Shop", "verify_title_contains", nullopt, "Shop", nullopt, false},
      {"verify url contains /cart?x=1#top", "verify_url_contains", nullopt, "/cart?x=1#top", nullopt, false},
      // Where an added form and an element ending meet.
      {"verify title is checked", "verify_checked", "title", nullopt, nullopt, false},
      {"verify title is not visible", "verify_not_visible", "title", nullopt, nullopt, false},
      {"verify title contains This is hidden", "verify_title_contains", nullopt, "This is hidden", nullopt, false},
  };
  const InstructionReader reader;
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

TEST(InstructionReader, LinesNoFormReadsKeepStepReadersMessage) {
  const StepReader old_reader;
  const InstructionReader reader;
  for (const std::string line : {"double click", "double  click X", "doubleclick X", "right clicks X",
                                 "check\u00a0Agree", "uncheck", "verify title is", "verify title contains",
                                 "verify url is /cart", "verify url contains", "verify text Saved is hidden", "verify text Saved is not checked", "checkbox Agree", "verify X is shown"}) {
    std::string message;
    try {
      reader.parse(line);
    } catch (const std::invalid_argument& e) {
      message = e.what();
    }
    EXPECT_EQ(message, outcome(old_reader, line).substr(10)) << line;
    EXPECT_TRUE(message.starts_with("Unrecognised instruction: ")) << line;
  }
}

TEST(InstructionReader, ValidatesTheAddedFormsAndTheLongestWait) {
  const std::string unknown_state =
      "`verify` instruction does not end in a known state. Expected ending: is present | is visible | is enabled | "
      "is disabled | is checked | is unchecked | is not checked | is not visible | is hidden | is not present; or: "
      "verify title is <text> | verify title contains <text> | verify url contains <text>";
  const std::string unknown_text_state =
      "`verify text` instruction does not end in a known state. Expected ending: is present | is visible | "
      "is not visible | is not present";
  const std::string too_long =
      "`wait` value is longer than the maximum of 600000 milliseconds (10 minutes). Got: ";
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {R"(double click "Save")", {}},
      {"Double-click Save", {}},
      {"right\tclick menu", {}},
      {"double tap Save", {"`double` instruction missing `click`. Expected: double click <target>"}},
      {"right", {"`right` instruction missing `click`. Expected: right click <target>"}},
      {"check Agree", {}},
      {"uncheck", {}},  // like a bare 'click': the parse tells what is missing
      {R"(check "Agree)", {R"(Unbalanced quote — missing closing `"` in: 'check "Agree')"}},
      {R"(verify "X" is not shown)", {unknown_state}},
      {"verify Submit button", {unknown_state}},
      {"verify X is not visible", {}},
      {"verify X is hidden", {}},
      {"verify X is not checked", {}},
      {"verify title is Tiny Shop", {}},
      {"verify title contains Shop", {}},
      {"verify url contains /cart", {}},
      {"verify url is /cart", {unknown_state}},
      {"verify Submit is enabled", {}},
      {"verify text Welcome is not present", {}},
      {"verify text Welcome", {unknown_text_state}},
      // Not an element named "text Welcome", which a negation would never find.
      {"verify text Welcome is hidden", {unknown_text_state}},
      {"verify text Welcome is checked", {unknown_text_state}},
      {"verify text next to Price is 9", {}},
      {"tap Submit", {"Unknown action 'tap'. Expected one of: click, type, verify, hover, select, press, wait, find, "
                      "extract, sendkeys."}},
      {"wait 600000", {}},
      {"wait 600001", {too_long + "'600001'"}},
      {"wait 99999999999999", {too_long + "'99999999999999'"}},
      {"wait 9223372036854775807", {too_long + "'9223372036854775807'"}},
      {"wait 184467440737095516150000", {too_long + "'184467440737095516150000'"}},
      {"wait \"700000\"", {too_long + "'700000'"}},
      {"wait \u0666\u0660\u0660\u0660\u0660\u0661", {too_long + "'\u0666\u0660\u0660\u0660\u0660\u0661'"}},
      {"wait 000000000000000000000000000600000", {}},
      {"wait abc", {"`wait` value must be a number in milliseconds. Got: 'abc'"}},
  };
  const InstructionReader reader;
  for (const auto& [line, issues] : cases) EXPECT_EQ(reader.validate(line), issues) << line;
}

TEST(InstructionReader, WaitTimesNeverOverflow) {
  constexpr std::uint64_t largest = std::numeric_limits<std::uint64_t>::max();
  const std::vector<std::pair<std::string, std::optional<std::uint64_t>>> cases = {
      {"0", 0},
      {"600000", 600000},
      {"\u0665\u0660", 50},
      {"\U0001D7D9\U0001D7CE", 10},  // mathematical digits one and zero
      {"18446744073709551615", largest},
      {"18446744073709551616", largest},
      {std::string(5000, '9'), largest},
      {"", nullopt},
      {"1.5", nullopt},
      {"-3", nullopt},
      {" 5", nullopt},
      {"5s", nullopt},
      {"\xff", nullopt},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(wait_milliseconds(text), value) << text;
}

TEST(InstructionReader, ScriptChecksKnowTheAddedFormsWithTheirLineNumbers) {
  namespace fs = std::filesystem;
  const fs::path file = fs::temp_directory_path() / ("quillfen-words-" + std::to_string(::getpid()) + ".test");
  std::ofstream(file, std::ios::binary) << "double click \"Save\"\n"
                                           "check Agree\n"
                                           "\n"
                                           "wait 99999999999999\n"
                                           "verify \"Agree\" is checked\n"
                                           "uncheck\n"
                                           "verify title contains Shop\n";
  const std::vector<std::string> issues = script_issues(read_script(file));
  fs::remove(file);
  ASSERT_EQ(issues.size(), 2u);
  EXPECT_EQ(issues[0], file.string() + ":4: `wait` value is longer than the maximum of 600000 milliseconds "
                                       "(10 minutes). Got: '99999999999999'");
  EXPECT_TRUE(issues[1].starts_with(file.string() + ":6: Unrecognised instruction: 'uncheck'")) << issues[1];
}

}  // namespace
}  // namespace quillfen::runner
