// The double and right click, check and uncheck, and the checked, negated, title and
// address checks, run by `quillfen run` in real Chromium on one fixture page: each word
// once as it should pass, and each once as it must fail, with the reason it names.
#include "tests/cli_support.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace quillfen::cli_support;

const fs::path PAGE = fs::path(QUILLFEN_SOURCE_DIR) / "tests" / "fixtures" / "runner" / "words.html";

int count_of(const std::string& haystack, const std::string& needle) {
  int n = 0;
  for (auto at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
  return n;
}

class Words : public TempDirTest {
 protected:
  Outcome run(const std::string& lines, const std::vector<std::string>& options = {}) const {
    const fs::path script = write("words.test", "navigate " + PAGE.string() + "\n" + lines);
    std::string command = "cd " + shell_quoted(dir_.string()) + " && " + shell_quoted(QUILLFEN_EXE) + " run " +
                          shell_quoted(script.string());
    for (const auto& option : options) command += " " + shell_quoted(option);
    return run_shell(command, dir_ / "stderr");
  }
};

TEST_F(Words, PerformsEachNewWordTruthfully) {
  const std::vector<std::string> steps = {
      "verify title is Words fixture",
      "verify title contains FIXTURE",
      // The text goes away a while after the page has loaded: the negation waits.
      "verify text Loading is not visible",
      "double click \"Edit me\"",
      "find exact text mouse: click1 click2 dblclick2",
      "right click \"Options\"",
      // A right click opens the context menu and is no click.
      "find exact text mouse: click1 click2 dblclick2 contextmenu",
      "check \"Remember me\"",
      "verify \"Remember me\" is checked",
      // Already checked: nothing is clicked.
      "check \"Remember me\"",
      "verify text \"box clicks: 1\" is visible",
      "uncheck \"Send offers\"",
      "verify \"Send offers\" is unchecked",
      "verify \"Send offers\" is not checked",
      "uncheck \"Large\"",
      "check \"Large\"",
      "verify \"Small\" is not checked",
      "verify \"Secret\" is not visible",
      "verify \"Ghost\" is hidden",
      "verify \"Nowhere\" is not present",
      "verify text \"Never here\" is not present",
      "click \"Done\"",
      "verify url contains #/done",
      "click \"Rename\"",
      // Set by a timer a moment after the click: the check waits for it.
      "verify title is Renamed page",
  };
  std::string lines;
  for (const auto& step : steps) lines += step + "\n";
  const Outcome o = run(lines);
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  EXPECT_EQ(count_of(o.out, "[FAIL]"), 0) << o.out;
  std::size_t at = 0;
  for (const auto& step : steps) {
    const auto found = o.out.find("  [PASS] " + step, at);
    EXPECT_NE(found, std::string::npos) << "no pass for: " << step << "\n" << o.out;
    if (found != std::string::npos) at = found;
  }
  EXPECT_NE(o.out.find("  [PASS] double click \"Edit me\"  (via DOM)\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("  [PASS] verify \"Remember me\" is checked\n"
                       "         state : {'present': True, 'checked': True}\n"),
            std::string::npos)
      << o.out;
  EXPECT_NE(o.out.find("  [PASS] verify \"Nowhere\" is not present\n"
                       "         state : {'present': False}\n"),
            std::string::npos)
      << o.out;
}

TEST_F(Words, FailsEachNewWordWhenItDoesNotHoldNamingTheCause) {
  const std::vector<std::pair<std::string, std::string>> steps = {
      {"check \"Not a box\"", "<button#plain> 'Not a box' is not a check box, radio or switch"},
      {"uncheck \"Small\"",
       "<input#small> 'Small' is a radio button, which is unchecked only by choosing another of its group"},
      {"double click \"Nowhere\"", "reasons : DOM confidence=0.00 | Spatial confidence=0.00"},
      {"right click \"Nowhere\"", "reasons : DOM confidence=0.00 | Spatial confidence=0.00"},
      {"verify \"Send offers\" is not checked", "note    : <input#offers> 'Send offers' is checked"},
      {"verify \"Remember me\" is checked", "note    : <input#remember> 'Remember me' is not checked"},
      {"verify \"Not a box\" is checked",
       "note    : <button#plain> 'Not a box' has no checked state (it is not a check box, radio or switch)"},
      {"verify \"Options\" is not visible", "note    : <button#options> 'Options' is visible"},
      {"verify \"Ghost\" is not present", "note    : <button#ghost> 'Ghost' is on the page, hidden"},
      {"verify \"Visible text\" is hidden", "note    : the text 'Visible text' is visible in <p> 'Visible text'"},
      {"verify text Words is not present", "note    : the text 'Words' is on the page in <h1> 'Words'"},
      {"verify text Visible is not visible", "note    : the text 'Visible' is visible in <p> 'Visible text'"},
      {"verify title is Words", "note    : the title is 'Words fixture', not 'Words'"},
      {"verify title contains Renamed", "note    : the title 'Words fixture' does not contain 'Renamed'"},
      {"verify url contains #/done", "does not contain '#/done'"},
  };
  std::string lines;
  for (const auto& [step, reason] : steps) lines += step + "\n";
  const Outcome o = run(lines, {"--timeout", "1000"});
  EXPECT_EQ(o.status, 1) << o.out << o.err;
  EXPECT_EQ(count_of(o.out, "[PASS]"), 1) << o.out;  // the navigation
  for (const auto& [step, reason] : steps) {
    const auto failed = o.out.find("  [FAIL] " + step + "\n");
    ASSERT_NE(failed, std::string::npos) << "no failure for: " << step << "\n" << o.out;
    const auto next = o.out.find("  [", failed + 3);
    EXPECT_NE(o.out.substr(failed, next - failed).find(reason), std::string::npos)
        << step << " does not say: " << reason << "\n" << o.out;
  }
}

}  // namespace
