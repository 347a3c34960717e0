// Runs the built `quillfen` binary: `parse` and `validate` as a user or a script sees them.
#include "engine/core/records.hpp"
#include "tests/cli_support.hpp"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace quillfen {
namespace {

namespace fs = std::filesystem;

using namespace cli_support;

class StepReaderCli : public TempDirTest {
 protected:
  // Runs quillfen with the arguments (each quoted for the shell) and standard input.
  Outcome run(const std::vector<std::string>& arguments, const std::string& input = "") const {
    std::string command = shell_quoted(QUILLFEN_EXE);
    for (const auto& a : arguments) command += " " + shell_quoted(a);
    return run_shell(command + " <" + shell_quoted(write("stdin", input).string()), dir_ / "stderr");
  }
};

const std::string kSupported =
    ". Supported actions: ['click', 'type', 'hover', 'select', 'press_key', 'sendkeys', 'extract_text', "
    "'extract_text_spatial', 'find_text', 'find_exact_text', 'verify_present', 'verify_visible', "
    "'verify_enabled', 'verify_disabled', 'verify_text_present', 'verify_text_visible', "
    "'verify_spatial_text', 'accept_dialog', 'dismiss_dialog', 'verify_dialog']";

TEST_F(StepReaderCli, ParsePrintsOneRecordOrErrorPerLine) {
  const Outcome ok = run({"parse", R"(click second "Log in")", R"(type x into "Über uns")", "accept dialog"});
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.out,
            R"({"action":"click","target":"Log in","value":null,"ordinal":2,"_literal_target":true})" "\n"
            R"({"action":"type","target":"Über uns","value":"x","_literal_target":true})" "\n"
            R"({"action":"accept_dialog","target":null,"value":null,"_literal_target":false})" "\n");

  // After --, lines may begin with a dash or look like a subcommand.
  const Outcome rejected = run({"parse", "--", "-x", "don't", "validate", "wait 5"});
  EXPECT_EQ(rejected.status, 1);
  EXPECT_EQ(lines_of(rejected.out), (std::vector<std::string>{
                                        R"({"error":"Unrecognised instruction: '-x')" + kSupported + "\"}",
                                        R"({"error":"Unrecognised instruction: \"don't\")" + kSupported + "\"}",
                                        R"({"error":"Unrecognised instruction: 'validate')" + kSupported + "\"}",
                                        R"({"action":"wait","target":"5","value":null,"_literal_target":false})",
                                    }));
}

TEST_F(StepReaderCli, ParseAndValidateKnowTheAddedWords) {
  const Outcome parsed = run({"parse", R"(double-click second "Row")", "check the Terms box",
                              R"(verify "Banner" is not visible)", "verify text Saved is not present",
                              "verify url contains /cart", "uncheck"});
  EXPECT_EQ(parsed.status, 1);
  EXPECT_EQ(lines_of(parsed.out),
            (std::vector<std::string>{
                R"({"action":"double_click","target":"Row","value":null,"ordinal":2,"_literal_target":true})",
                R"({"action":"check","target":"Terms box","value":null,"ordinal":1,"_literal_target":false})",
                R"({"action":"verify_not_visible","target":"Banner","value":null,"_literal_target":true})",
                R"({"action":"verify_text_not_present","target":"Saved","value":null,"_literal_target":false})",
                R"({"action":"verify_url_contains","target":null,"value":"/cart","_literal_target":false})",
                R"({"error":"Unrecognised instruction: 'uncheck')" + kSupported + "\"}",
            }));

  const fs::path script = write("words.test",
                                "double click \"Save\"\n"
                                "right click menu\n"
                                "verify \"Agree\" is checked\n"
                                "verify \"X\" is not shown\n"
                                "\n"
                                "wait 9223372036854775807\n"
                                "wait 600000\n"
                                "verify title is Tiny Shop\n");
  const Outcome o = run({"validate", script.string()});
  EXPECT_EQ(o.status, 1);
  const std::string at = script.string() + ":";
  EXPECT_EQ(lines_of(o.out),
            (std::vector<std::string>{
                at + "4: `verify` instruction does not end in a known state. Expected ending: is present | "
                     "is visible | is enabled | is disabled | is checked | is unchecked | is not checked | "
                     "is not visible | is hidden | is not present; or: verify title is <text> | "
                     "verify title contains <text> | verify url contains <text>",
                at + "6: `wait` value is longer than the maximum of 600000 milliseconds (10 minutes). "
                     "Got: '9223372036854775807'",
            }));
}

// `run` checks its scripts before it starts a browser, so this needs none: a wait that
// would overflow a deadline, or end at once, never reaches the step loop.
TEST_F(StepReaderCli, RunRefusesAWaitBeyondTheLongestBeforeStarting) {
  const fs::path script = write("wait.test", "# pause\nwait 99999999999999\ncheck \"Agree\"\n");
  std::string command = shell_quoted(QUILLFEN_EXE) + " run --chromium /nonexistent/chromium " +
                        shell_quoted(script.string());
  const Outcome o = run_shell(command, dir_ / "stderr");
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_EQ(o.out, script.string() + ":2: `wait` value is longer than the maximum of 600000 milliseconds "
                                     "(10 minutes). Got: '99999999999999'\n");
  EXPECT_NE(o.err.find("nothing was run"), std::string::npos) << o.err;
}

TEST_F(StepReaderCli, ParseReadsStandardInputAndSurvivesMalformedLines) {
  const std::string huge = "click " + std::string(2 << 20, 'x');
  const std::string input = std::string("click \"Log in\"\r\n") + "\n" + std::string("type a\0b into \xff\xfe", 16) +
                            "\n" + "verify \"\xed\xa0\x80\" is present\n" + huge + "\n" + "\"\n" + "wait 5";
  const Outcome o = run({"parse", "-"}, input);
  EXPECT_EQ(o.status, 1);  // the blank line and the lone quote are rejected
  const auto lines = lines_of(o.out);
  ASSERT_EQ(lines.size(), 7u);
  std::vector<Json> records;
  for (const auto& line : lines) {
    Json j;
    ASSERT_NO_THROW(j = Json::parse(line)) << line.substr(0, 200);  // strict UTF-8
    records.push_back(j);
  }
  EXPECT_EQ(records[0]["target"], "Log in");
  EXPECT_EQ(records[1]["error"], "Unrecognised instruction: ''" + kSupported);
  EXPECT_EQ(records[2]["value"], std::string("a\0b", 3));
  EXPECT_EQ(records[2]["target"], "\uFFFD\uFFFD");
  EXPECT_EQ(records[3]["target"], "\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(records[4]["target"].get<std::string>().size(), huge.size() - 6);
  EXPECT_EQ(records[5]["error"], "Unrecognised instruction: '\"'" + kSupported);
  EXPECT_EQ(records[6]["action"], "wait");
}

TEST_F(StepReaderCli, UsageErrorsExitTwoWithOneLineOnStandardError) {
  const fs::path missing = dir_ / "missing.test";
  const std::vector<std::vector<std::string>> cases = {
      {"parse"}, {"validate"}, {"validate", missing.string()}, {"validate", dir_.string()}};
  for (const auto& arguments : cases) {
    const Outcome o = run(arguments);
    SCOPED_TRACE(arguments.back());
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(lines_of(o.err).size(), 1u) << o.err;
  }
  const Outcome o = run({"validate", write("ok.test", "click a\n").string(), missing.string()});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.out, "");  // nothing is reported until every file has been read
  EXPECT_EQ(o.err, "quillfen: cannot read the script '" + missing.string() + "': No such file or directory.\n");
}

TEST_F(StepReaderCli, ValidateKeepsTheFilesOwnLineNumbers) {
  const fs::path script = write("shop.test",
                                "\xEF\xBB\xBF# log in first\n"
                                "click \"Log in\"\n"
                                "\n"
                                "   # an indented comment\n"
                                "tap B\r\n"
                                "\u00a0\n"
                                "wait x\n"
                                "type hello\n"
                                "verify \"Cart\n");
  const fs::path clean = write("clean.test", "# nothing wrong\nclick a\n\nwait 10\n");
  const Outcome o = run({"validate", script.string(), clean.string()});
  EXPECT_EQ(o.status, 1);
  const std::string at = script.string() + ":";
  EXPECT_EQ(lines_of(o.out),
            (std::vector<std::string>{
                at + "5: Unknown action 'tap'. Expected one of: click, type, verify, hover, select, press, wait, "
                     "find, extract, sendkeys.",
                at + "7: `wait` value must be a number in milliseconds. Got: 'x'",
                at + "8: `type` instruction missing `into` keyword. Expected: type <text> into <target>",
                at + "9: Unbalanced quote — missing closing `\"` in: 'verify \"Cart'",
            }));

  const Outcome as_json = run({"validate", "--json", script.string(), clean.string()});
  EXPECT_EQ(as_json.status, 1);
  const auto maps = lines_of(as_json.out);
  ASSERT_EQ(maps.size(), 2u);
  const Json first = Json::parse(maps[0]);
  EXPECT_EQ(first.size(), 4u);
  EXPECT_EQ(first.begin().key(), "5");
  EXPECT_EQ(first["8"], Json::array({"`type` instruction missing `into` keyword. Expected: type <text> into <target>"}));
  EXPECT_EQ(maps[1], "{}");

  const Outcome ok = run({"validate", clean.string(), "--json"});
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.out, "{}\n");
  EXPECT_EQ(run({"validate", clean.string()}).out, "");
}

TEST_F(StepReaderCli, ValidateSurvivesMalformedFiles) {
  const std::string content = std::string("tap \0\xff\n", 7) + "wait " + std::string(1 << 20, '9') + "\n" +
                              std::string(1 << 20, '"') + "x\n" + "wait \xc3\n";
  const fs::path script = write("bad.test", content);
  const Outcome o = run({"validate", "--json", script.string()});
  EXPECT_EQ(o.status, 1);
  Json map;
  ASSERT_NO_THROW(map = Json::parse(o.out));
  EXPECT_EQ(map["1"], Json::array({"Unknown action 'tap'. Expected one of: click, type, verify, hover, select, press, "
                                   "wait, find, extract, sendkeys."}));
  // A million nines is a number, but far beyond the longest wait.
  ASSERT_EQ(map["2"].size(), 1u);
  EXPECT_EQ(map["2"][0].get<std::string>(), "`wait` value is longer than the maximum of 600000 milliseconds "
                                            "(10 minutes). Got: '" + std::string(1 << 20, '9') + "'");
  EXPECT_TRUE(map.contains("3"));
  EXPECT_EQ(map["4"], Json::array({"`wait` value must be a number in milliseconds. Got: '\uFFFD'"}));
}

}  // namespace
}  // namespace quillfen
