// `quillfen run` end to end: scripts on fixture pages and the demo shop, in real
// Chromium, checked through the console lines, the exit code, the HTML report and the
// JUnit file, as a user or a CI system sees them.
#include "tests/cli_support.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path FIXTURES = fs::path(QUILLFEN_SOURCE_DIR) / "tests" / "fixtures" / "runner";
const fs::path SHOP = fs::path(QUILLFEN_SOURCE_DIR) / "examples" / "site";

using namespace quillfen::cli_support;

int count_of(const std::string& haystack, const std::string& needle) {
  int n = 0;
  for (auto at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
  return n;
}

// The seconds JUnit gives the step on `line`, or -1.
double step_seconds(const std::string& junit, int line) {
  const std::regex time("line=\"" + std::to_string(line) + "\" time=\"([0-9.]+)\"");
  std::smatch m;
  return std::regex_search(junit, m, time) ? std::stod(m[1]) : -1;
}

// The file:// URL of a path without characters that need escaping.
std::string to_file_url(const fs::path& path) { return "file://" + path.string(); }

// A server that takes connections and never answers: the kernel accepts them for it.
class SilentServer {
 public:
  SilentServer() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) == 0 && ::listen(fd_, 16) == 0 &&
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  ~SilentServer() { ::close(fd_); }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  int port() const { return port_; }

 private:
  int fd_;
  int port_ = 0;
};

class RunCommand : public TempDirTest {
 protected:
  fs::path script(const std::string& name, const std::string& content) const { return write(name, content); }

  // Runs `quillfen run` in the test's folder, so the report lands there.
  Outcome run(const std::vector<std::string>& arguments) const {
    std::string command = "cd " + shell_quoted(dir_.string()) + " && " + shell_quoted(QUILLFEN_EXE) + " run";
    for (const auto& a : arguments) command += " " + shell_quoted(a);
    return run_shell(command, dir_ / "stderr");
  }

  fs::path report() const { return dir_ / "data" / "reports" / "report.html"; }
};

TEST_F(RunCommand, RejectsAnInvalidScriptBeforeRunningAnything) {
  const fs::path good = script("good.test", "navigate " + (FIXTURES / "form.html").string() + "\nclick \"Show values\"\n");
  const fs::path bad = script("bad.test",
                              "# a comment, then a blank line\n\n"
                              "tap Submit\n"
                              "wait soon\n"
                              "back\n"
                              "click \"Log in\"\n");
  const Outcome o = run({good.string(), bad.string(), "--junit", "junit.xml"});
  EXPECT_EQ(o.status, 1) << o.out << o.err;
  EXPECT_NE(o.out.find(bad.string() + ":3: Unknown action 'tap'. Expected one of: click,"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find(bad.string() + ":4: `wait` value must be a number in milliseconds. Got: 'soon'"),
            std::string::npos)
      << o.out;
  EXPECT_NE(o.out.find(bad.string() + ":5: Unrecognised instruction: 'back'"), std::string::npos) << o.out;
  EXPECT_EQ(count_of(o.out, bad.string() + ":"), 3) << o.out;
  EXPECT_NE(o.err.find("nothing was run"), std::string::npos) << o.err;
  // Not even the valid script ran: no step line, no report, no JUnit file.
  EXPECT_EQ(o.out.find("[PASS]"), std::string::npos);
  EXPECT_FALSE(fs::exists(report()));
  EXPECT_FALSE(fs::exists(dir_ / "junit.xml"));

  const Outcome usage = run({"--timeout", "soon", good.string()});
  EXPECT_EQ(usage.status, 2);
  const Outcome missing = run({(dir_ / "no-such.test").string()});
  EXPECT_EQ(missing.status, 2);

  // A headed browser without a display is refused in one sentence, before any start.
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  const Outcome headed = run({"--headed", good.string()});
  EXPECT_EQ(headed.status, 2);
  EXPECT_NE(headed.err.find("needs a display"), std::string::npos) << headed.err;
}

TEST_F(RunCommand, PerformsEveryActionThroughRealInputEvents) {
  const fs::path s = script("form.test",
                            "navigate " + (FIXTURES / "form.html").string() + "\n"
                            "type Ada into \"Full name\"\n"
                            "type 555-0100 into \"Phone number\"\n"
                            "type Hello there into \"Notes\"\n"
                            "select Blue from \"Colour\"\n"
                            "select gr from \"Colour\"\n"
                            "click \"I agree\"\n"
                            "type abc into \"Keys\"\n"
                            "sendkeys Control+A\n"
                            "press Backspace\n"
                            "sendkeys xyz\n"
                            "press Enter\n"
                            "press Escape\n"
                            "press ArrowDown\n"
                            "hover \"Hover me\"\n"
                            "verify text \"Hovered\" is visible\n"
                            "wait 50\n"
                            "click \"Show values\"\n"
                            "verify text \"name=Ada phone=555-0100 notes=Hello there colour=gr agree=true keys=xyz "
                            "trusted=true\" is visible\n"
                            "verify text \"input change input change Control+a Enter Escape ArrowDown\" is present\n"
                            "extract text next to \"Price\"\n"
                            "find exact text Price\n"
                            "verify \"Send\" is disabled\n");
  const Outcome o = run({s.string(), "--junit", "out/junit.xml"});
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  EXPECT_EQ(count_of(o.out, "  [PASS] "), 23) << o.out;
  EXPECT_EQ(count_of(o.out, "[FAIL]"), 0) << o.out;
  EXPECT_NE(o.out.find("  [PASS] type Hello there into \"Notes\"  (via DOM)\n"), std::string::npos);
  EXPECT_NE(o.out.find("  [PASS] press Enter  (via direct)\n"), std::string::npos);
  EXPECT_NE(o.out.find("  Passed       : 23\n"), std::string::npos);
  EXPECT_NE(o.out.find("  HTML report \u2192 data/reports/report.html"), std::string::npos);

  // The extracted text is the detail of its row in the report.
  const std::string page = slurp(report());
  EXPECT_NE(page.find("<td>$12.00</td>"), std::string::npos);
  EXPECT_EQ(count_of(page, "<tr style=\"background:#f6fff9\">"), 23);

  const std::string junit = slurp(dir_ / "out" / "junit.xml");
  EXPECT_NE(junit.find("<testsuite name=\"" + s.string() + "\" tests=\"23\" failures=\"0\""), std::string::npos)
      << junit;
  EXPECT_NE(junit.find("name=\"type Ada into &quot;Full name&quot;\" file=\"" + s.string() + "\" line=\"2\""),
            std::string::npos)
      << junit;
  EXPECT_EQ(junit.find("<failure"), std::string::npos);
}

TEST_F(RunCommand, ResolvesOrdinalsRelationsAndDirectionsOnTheDemoShop) {
  const fs::path s = script("shop.test",
                            "navigate " + (SHOP / "index.html").string() + "\n"
                            "click first button next to \"Sign up\"\n"
                            "verify text \"Check your inbox\" is visible\n"
                            "verify second button next to \"Sign up\" is enabled\n"
                            "navigate " + (SHOP / "products.html").string() + "\n"
                            "click Add to cart near \"Blue Backpack\"\n"
                            "click third \"Add to cart\"\n"
                            "verify text below \"Bike Light\" is $9.99\n"
                            "navigate " + (SHOP / "cart.html").string() + "\n"
                            "verify text \"Blue Backpack\" is present\n"
                            "verify text next to \"Total\" is $38.99\n"
                            "extract text right of \"Total\"\n"
                            "navigate " + (SHOP / "orders.html").string() + "\n"
                            "verify text below \"Status\" is Delivered\n"
                            "click second \"Track\"\n"
                            "verify text \"Order 1002 is shipped\" is visible\n"
                            "click first button next to \"Order 1003\"\n"
                            "verify text \"Order 1003 is processing\" is visible\n");
  const Outcome o = run({s.string()});
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  EXPECT_NE(o.out.find("  [PASS] click first button next to \"Sign up\"  (via Spatial)\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("  [PASS] click Add to cart near \"Blue Backpack\"  (via Spatial)\n"), std::string::npos);
  EXPECT_NE(o.out.find("  [PASS] click third \"Add to cart\"  (via DOM)\n"), std::string::npos);
  EXPECT_NE(o.out.find("  [PASS] verify text next to \"Total\" is $38.99\n"
                       "         state : {'expected': '$38.99', 'actual': '$38.99'}\n"),
            std::string::npos);
  // A check of an element named by its place reads the state of that element.
  EXPECT_NE(o.out.find("  [PASS] verify second button next to \"Sign up\" is enabled\n"
                       "         state : {'present': True, 'visible': True, 'enabled': True}\n"),
            std::string::npos);
  EXPECT_NE(o.out.find("    Spatial              3\n"), std::string::npos) << o.out;
  EXPECT_NE(slurp(report()).find("<td>$38.99</td>"), std::string::npos);
}

TEST_F(RunCommand, ReportsFailuresWithTheirReasonsAndClosestCandidate) {
  const fs::path s = script("fail.test",
                            "navigate " + (FIXTURES / "form.html").string() + "\n"
                            "click \"Buy now\"\n"
                            "click \"Show values\"\n"
                            "click \"Launch rocket\"\n"
                            "verify text next to \"Price\" is $10.00\n"
                            "verify \"Send\" is enabled\n"
                            "select Purple from \"Colour\"\n"
                            "navigate " + (dir_ / "missing.html").string() + "\n");
  const Outcome o = run({s.string(), "--timeout", "700", "--junit", "junit.xml"});
  EXPECT_EQ(o.status, 1) << o.out << o.err;
  EXPECT_NE(o.out.find("  [FAIL] click \"Buy now\"\n"
                       "         reasons : DOM confidence=1.00\n"
                       "         closest : <button> text='Buy now'\n"
                       "         note    : <button#buy> 'Buy now' is covered by <div#overlay>\n"),
            std::string::npos)
      << o.out;
  EXPECT_NE(o.out.find("  [FAIL] click \"Launch rocket\"\n"
                       "         reasons : DOM confidence=0.00 | Spatial confidence=0.00\n"),
            std::string::npos);
  EXPECT_NE(o.out.find("  [FAIL] verify text next to \"Price\" is $10.00\n"
                       "         state : {'expected': '$10.00', 'actual': '$12.00'}\n"),
            std::string::npos);
  EXPECT_NE(o.out.find("         note    : the list has no option 'Purple' (its options: Red, Green, Blue)\n"),
            std::string::npos);
  EXPECT_NE(o.out.find("  [FAIL] navigate " + (dir_ / "missing.html").string() + "\n         note    : cannot open"),
            std::string::npos);
  // The covered button was not clicked, and the next step still ran.
  EXPECT_NE(o.out.find("  [PASS] click \"Show values\""), std::string::npos);
  EXPECT_NE(o.out.find("  Failed       : 6\n"), std::string::npos);

  const std::string junit = slurp(dir_ / "junit.xml");
  EXPECT_NE(junit.find("tests=\"8\" failures=\"6\""), std::string::npos) << junit;
  EXPECT_NE(junit.find("<failure message=\"&lt;button#buy&gt; &apos;Buy now&apos; is covered by &lt;div#overlay&gt;\">"),
            std::string::npos);
  EXPECT_NE(junit.find("<failure message=\"no element matches (DOM confidence=0.00 | Spatial confidence=0.00)\">"),
            std::string::npos);
  EXPECT_NE(junit.find("the check failed: {&apos;present&apos;: True, &apos;visible&apos;: True, "
                       "&apos;enabled&apos;: False}"),
            std::string::npos);
  const std::string page = slurp(report());
  EXPECT_NE(page.find("<span class=\"badge fail\">Failed: 6</span>"), std::string::npos);
}

TEST_F(RunCommand, AStepNeverTurnsIntoAnotherAct) {
  // 'check Enter' names no key: it must neither press Enter into the focused field nor
  // pass.
  const fs::path s = script("keys.test",
                            "navigate " + (FIXTURES / "form.html").string() + "\n"
                            "type abc into \"Keys\"\n"
                            "check Enter\n"
                            "verify text \"Enter\" is present\n");
  const Outcome o = run({s.string(), "--timeout", "300"});
  EXPECT_EQ(o.status, 1) << o.out << o.err;
  EXPECT_NE(o.out.find("  [PASS] type abc into \"Keys\"  (via DOM)\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("  [FAIL] check Enter\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("  [FAIL] verify text \"Enter\" is present\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("  Failed       : 2\n"), std::string::npos) << o.out;
}

TEST_F(RunCommand, HoldsDialogsUntilAStepAnswersThem) {
  const fs::path s = script("dialogs.test",
                            "click \"Delete file\"\n"
                            "verify dialog says delete REPORT.pdf\n"
                            "dismiss dialog\n"
                            "verify text \"Kept report.pdf\" is visible\n"
                            "click \"Delete file\"\n"
                            "wait 100\n"
                            "accept dialog\n"
                            "verify text \"Deleted report.pdf\" is visible\n"
                            "click \"Rename\"\n"
                            "accept dialog\n"
                            "verify text \"Renamed to draft\" is visible\n"
                            "click \"Greet\"\n"
                            "verify text \"Greeted\" is visible\n"
                            "click \"Delete file\"\n"
                            "verify dialog says something else\n"
                            "accept dialog\n"
                            "accept dialog\n"
                            "click \"Greet\"\n");
  // The page comes from --url, opened before the first step.
  const Outcome o = run({s.string(), "--url", (FIXTURES / "dialogs.html").string(), "--timeout", "500", "--junit",
                         "junit.xml"});
  EXPECT_EQ(o.status, 1) << o.out << o.err;
  EXPECT_NE(o.out.find("  [PASS] verify dialog says delete REPORT.pdf\n"
                       "         state : {'expected': 'delete REPORT.pdf', 'actual': 'Delete report.pdf?'}\n"),
            std::string::npos)
      << o.out;
  EXPECT_NE(o.out.find("  [PASS] verify text \"Renamed to draft\" is visible"), std::string::npos);
  // The alert nobody answered is dismissed before the next step, with a note.
  EXPECT_NE(o.out.find("  [PASS] click \"Greet\"  (via DOM)\n"
                       "         note    : dismissed the alert 'Hello' that no step answered\n"
                       "  [PASS] verify text \"Greeted\" is visible\n"),
            std::string::npos);
  EXPECT_NE(o.out.find("  [FAIL] verify dialog says something else\n"), std::string::npos);
  EXPECT_NE(o.out.find("  [FAIL] accept dialog\n         note    : no dialog is open\n"), std::string::npos);
  // The last alert is still open when the script ends: dismissed, and the run ends.
  EXPECT_EQ(count_of(o.out, "dismissed the alert 'Hello'"), 2);
  EXPECT_NE(o.out.find("  Failed       : 2\n"), std::string::npos);
  EXPECT_NE(slurp(dir_ / "junit.xml").find("<failure message=\"no dialog is open\">"), std::string::npos);
}

TEST_F(RunCommand, WaitsForLateElementsAndReportsMissingOnesAtTheTimeOut) {
  const fs::path s = script("late.test",
                            "navigate " + (FIXTURES / "delayed.html").string() + "\n"
                            "click \"Load more\"\n"
                            "verify text \"More items loaded\" is visible\n"
                            "verify \"Never there\" is present\n");
  const Outcome o = run({s.string(), "--timeout", "3000", "--junit", "junit.xml"});
  EXPECT_EQ(o.status, 1) << o.out << o.err;
  EXPECT_NE(o.out.find("  [PASS] click \"Load more\"  (via DOM)\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("  [PASS] verify text \"More items loaded\" is visible\n"), std::string::npos);
  EXPECT_NE(o.out.find("  [FAIL] verify \"Never there\" is present\n"), std::string::npos);
  // The missing element was looked for until the time-out, not less.
  const std::string junit = slurp(dir_ / "junit.xml");
  const std::regex last_case(R"re(line="4" time="([0-9.]+)")re");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(junit, m, last_case)) << junit;
  EXPECT_GE(std::stod(m[1]), 2.9);
  EXPECT_LT(std::stod(m[1]), 6.0);
}

TEST_F(RunCommand, EndsAScriptWhosePageStopsAnswering) {
  const fs::path frozen = script("frozen.test",
                                 "navigate " + (FIXTURES / "frozen.html").string() + "\n"
                                 "click \"Freeze\"\n"
                                 "verify text \"Still here\" is present\n"
                                 "click \"Freeze\"\n");
  const Outcome o = run({frozen.string(), "--timeout", "0", "--junit", "junit.xml"});
  EXPECT_EQ(o.status, 1) << o.out << o.err;
  EXPECT_NE(o.out.find("  [FAIL] click \"Freeze\"\n         note    : the page stopped answering"),
            std::string::npos)
      << o.out;
  EXPECT_EQ(count_of(o.out, "         note    : not run: the page stopped answering"), 2);
  EXPECT_NE(o.out.find("  Failed       : 3\n"), std::string::npos);
  EXPECT_TRUE(fs::exists(report()));
  EXPECT_NE(slurp(dir_ / "junit.xml").find("tests=\"4\" failures=\"3\""), std::string::npos);
  EXPECT_LT(o.seconds, 40);
}

TEST_F(RunCommand, ASnapshotThatCannotBeSavedIsOneWarningAndTheRunGoesOn) {
  // A file stands where the snapshot folder should be.
  fs::create_directories(dir_ / "data");
  write("data/logs", "not a folder");
  const std::string steps = "navigate " + (FIXTURES / "form.html").string() + "\n"
                            "click \"I agree\"\n"
                            "verify \"Send\" is disabled\n";
  const fs::path first = script("first.test", steps);
  const fs::path second = script("second.test", steps);
  const Outcome o = run({first.string(), second.string(), "--snapshots", "--junit", "junit.xml"});
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  EXPECT_EQ(count_of(o.out, "  [PASS] "), 6) << o.out;
  EXPECT_EQ(count_of(o.out, "[DOM snapshot not saved: data/logs: cannot create the directory: "), 1) << o.out;
  EXPECT_NE(o.out.find("no more snapshots are taken in this run]"), std::string::npos) << o.out;
  EXPECT_TRUE(fs::exists(report()));
  EXPECT_NE(slurp(dir_ / "junit.xml").find("tests=\"6\" failures=\"0\""), std::string::npos);
  EXPECT_EQ(slurp(dir_ / "data" / "logs"), "not a folder");
}

TEST_F(RunCommand, RefusesUnreadableOrHugeScriptsAndBadOptionsInOneSentence) {
  // A socket passes for an existing file but cannot be opened, not even by root.
  const fs::path socket_path = dir_ / "s.test";
  const int socket_fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(socket_fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socket_path.string().size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socket_path.c_str());
  ASSERT_EQ(::bind(socket_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  const Outcome unreadable = run({socket_path.string()});
  ::close(socket_fd);
  EXPECT_EQ(unreadable.status, 2);
  EXPECT_EQ(unreadable.err,
            "quillfen run: cannot read the script '" + socket_path.string() + "': No such device or address.\n");

  // A script of comments alone, one byte over the bound, is refused before any browser starts.
  std::string huge;
  const std::string comment = "# " + std::string(1021, 'c') + "\n";
  while (huge.size() < (std::size_t{16} << 20)) huge += comment;
  huge.resize((std::size_t{16} << 20) + 1, '\n');
  const fs::path big = write("big.test", huge);
  const Outcome too_big = run({big.string()});
  EXPECT_EQ(too_big.status, 2) << too_big.out;
  EXPECT_EQ(too_big.err, "quillfen run: cannot read the script '" + big.string() +
                             "': it is larger than 16 MB, the most a script may hold.\n");
  EXPECT_FALSE(fs::exists(report()));

  const Outcome not_a_number = run({"--timeout", "abc", big.string()});
  EXPECT_EQ(not_a_number.status, 2);
  EXPECT_NE(not_a_number.err.find("--timeout: 'abc' is not a number"), std::string::npos) << not_a_number.err;
  const Outcome too_long = run({"--timeout", "600001", big.string()});
  EXPECT_EQ(too_long.status, 2);
  EXPECT_NE(too_long.err.find("--timeout: 600001 is above 600000"), std::string::npos) << too_long.err;
}

TEST_F(RunCommand, WaitsForAnElementToHoldStillAndActsOnHostilePages) {
  // The modal takes no click until it has faded and slid into place.
  const fs::path modal = script("modal.test",
                                "navigate " + (FIXTURES / "modal.html").string() + "\n"
                                "click \"Open\"\n"
                                "click \"Confirm\"\n"
                                "verify text \"Confirmed\" is visible\n");
  // The page replaces JSON.stringify, Array.prototype.toJSON and getBoundingClientRect.
  const fs::path hostile = script("hostile.test",
                                  "navigate " + (FIXTURES / "hostile_acts.html").string() + "\n"
                                  "type Ada into \"Name\"\n"
                                  "click \"Save\"\n"
                                  "verify text \"saved Ada\" is visible\n");
  const Outcome o = run({modal.string(), hostile.string()});
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  EXPECT_EQ(count_of(o.out, "  [PASS] "), 8) << o.out;
  EXPECT_EQ(o.out.find("moving"), std::string::npos) << o.out;
}

TEST_F(RunCommand, EndsAClickOnAnInPageNavigationWithoutWaitingForALoad) {
  const fs::path s = script("inpage.test",
                            "navigate " + (FIXTURES / "inpage.html").string() + "\n"
                            "click \"Jump to section 10\"\n"
                            "verify text \"At #section-10\" is present\n"
                            "click \"Show active\"\n"
                            "verify text \"Filter #/active\" is visible\n");
  const Outcome o = run({s.string(), "--junit", "junit.xml"});
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  // A load event never comes for these; waiting for one took 10 s a click.
  const std::string junit = slurp(dir_ / "junit.xml");
  for (const int line : {2, 4}) {
    const double seconds = step_seconds(junit, line);
    EXPECT_GE(seconds, 0) << junit;
    EXPECT_LT(seconds, 5) << "line " << line << "\n" << junit;
  }
}

TEST_F(RunCommand, NeverPassesAnActThatADialogInterrupted) {
  // The field's focus handler opens an alert as the act clicks into it: the alert is
  // dismissed by the rules, and the typing really happens.
  const fs::path focus = script("focus.test",
                                "navigate " + (FIXTURES / "focus.html").string() + "\n"
                                "type Ada into \"Name\"\n"
                                "click \"Show\"\n"
                                "verify text \"name=Ada\" is visible\n");
  // Three alerts in a row from one click: each is held, then dismissed with a note.
  const fs::path storm = script("storm.test",
                                "navigate " + (FIXTURES / "storm.html").string() + "\n"
                                "click \"Storm\"\n"
                                "verify text \"Done\" is visible\n");
  const Outcome o = run({focus.string(), storm.string()});
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  EXPECT_EQ(count_of(o.out, "  [PASS] "), 7) << o.out;
  EXPECT_GE(count_of(o.out, "         note    : dismissed the alert 'Focus!' that no step answered\n"), 1) << o.out;
  EXPECT_NE(o.out.find("  [PASS] click \"Storm\"  (via DOM)\n"
                       "         note    : dismissed the alert 'One' that no step answered\n"
                       "         note    : dismissed the alert 'Two' that no step answered\n"
                       "         note    : dismissed the alert 'Three' that no step answered\n"
                       "  [PASS] verify text \"Done\" is visible\n"),
            std::string::npos)
      << o.out;
  EXPECT_EQ(o.out.find("stopped answering"), std::string::npos) << o.out;
}

TEST_F(RunCommand, AcceptsABeforeUnloadPromptAndReallyArrives) {
  const fs::path arrives = script("leave.test",
                                  "navigate " + (FIXTURES / "leave.html").string() + "\n"
                                  "type unsaved into \"Name\"\n"
                                  "navigate " + (FIXTURES / "arrive.html").string() + "\n"
                                  "verify text \"Arrived\" is visible\n");
  // The prompt is accepted, but the next page never comes: the step fails naming the
  // prompt, and the page that stayed is still there for the next step.
  const SilentServer server;
  ASSERT_NE(server.port(), 0);
  const std::string silent = "http://127.0.0.1:" + std::to_string(server.port()) + "/next";
  const fs::path stays = script("stay.test",
                                "navigate " + (FIXTURES / "leave.html").string() + "\n"
                                "type unsaved into \"Name\"\n"
                                "navigate " + silent + "\n"
                                "verify \"Name\" is present\n");
  const Outcome o = run({arrives.string(), stays.string(), "--timeout", "2000"});
  EXPECT_EQ(o.status, 1) << o.out << o.err;
  EXPECT_EQ(count_of(o.out, "  [PASS] "), 7) << o.out;
  EXPECT_NE(o.out.find("  [FAIL] navigate " + silent + "\n         note    : cannot open " + silent +
                       ": the page stayed at " + to_file_url(FIXTURES / "leave.html") +
                       ": its beforeunload prompt was accepted, but " + silent + " did not load within 30000 ms\n"),
            std::string::npos)
      << o.out;
  EXPECT_EQ(o.out.find("dismissed"), std::string::npos) << o.out;
}

TEST_F(RunCommand, ASilentServerOrAHugeValueFailsItsStepAndTheTabGoesOn) {
  const SilentServer server;
  ASSERT_NE(server.port(), 0);
  const std::string silent = "http://127.0.0.1:" + std::to_string(server.port()) + "/slow";
  const fs::path s = script("slow.test",
                            "navigate " + silent + "\n"
                            "navigate " + (FIXTURES / "form.html").string() + "\n"
                            "type " + std::string(std::size_t{8} << 20, 'a') + " into \"Full name\"\n"
                            "type Ada into \"Full name\"\n"
                            "click \"Show values\"\n"
                            "verify text \"name=Ada phone= notes= colour=re agree=false keys= trusted=true\" is visible\n");
  const Outcome o = run({s.string(), "--timeout", "1000", "--junit", "junit.xml"});
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_NE(o.out.find("  [FAIL] navigate " + silent + "\n"
                       "         note    : cannot open " + silent + ": no answer within 30000 ms\n"),
            std::string::npos)
      << o.out.substr(0, 2000);
  EXPECT_NE(o.out.find("         note    : the text to type is too long (8388608 bytes; at most 262144 can be "
                       "typed)\n"),
            std::string::npos);
  EXPECT_EQ(count_of(o.out, "  [PASS] "), 4);
  EXPECT_EQ(o.out.find("stopped answering"), std::string::npos);
  EXPECT_EQ(o.out.find("not run"), std::string::npos);
}

}  // namespace
