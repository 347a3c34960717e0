// A whole run on fake tabs, without a browser: the heading and closing line of each
// script, a browser that died restarted for the next script (once), a stop that marks
// the rest not run and still writes every report, and the JSON document of a run.
#include "runner/json_report.hpp"
#include "runner/junit_report.hpp"
#include "runner/test_run.hpp"
#include "tests/fake_tab.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace quillfen::runner {
namespace {

namespace fs = std::filesystem;
using fake::box;
using fake::FakeTab;
using ::testing::HasSubstr;
using namespace std::chrono_literals;

// Tabs of a pretend browser that a test can kill; each tab shows a "Save" button.
class FakeTabs : public TabSource {
 public:
  bool alive = true;
  int restarts = 0;
  // Restarting fails with this message.
  std::optional<std::string> restart_fails;
  // Opening a tab fails while this is set.
  bool tabs_fail = false;
  // Runs on each tab after each act that is done: the page changes, the browser dies.
  std::function<void(FakeTab&, FakeTabs&)> after_act;

  std::unique_ptr<chromium::Tab> new_tab() override {
    if (!alive || tabs_fail) throw PageError("the browser is gone", PageError::Kind::gone);
    auto tab = std::make_unique<FakeTab>();
    tab->page.add({.tag = "button", .text = "Save", .box = box(10, 10, 80, 20)});
    tab->longest_sleep = 0ms;
    tab->after_act = [this](FakeTab& t) {
      if (after_act) after_act(t, *this);
    };
    return tab;
  }
  bool browser_alive() override { return alive; }
  void restart_browser() override {
    ++restarts;
    if (restart_fails) throw std::runtime_error(*restart_fails);
    alive = true;
  }
  std::string browser_version() override { return "FakeChrome/1.0"; }
};

Script script(const std::string& path, const std::vector<std::string>& lines) {
  Script s{path, {}};
  for (const auto& line : lines) s.steps.push_back({static_cast<int>(s.steps.size()) + 1, line});
  return s;
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class WholeRun : public ::testing::Test {
 protected:
  RunOutcome run(const std::vector<Script>& scripts) {
    settings.steps = StepSettings{200ms, 5ms};
    settings.command_line = {"quillfen", "run", "a.test"};
    return run_scripts(scripts, tabs, reporter, console, settings);
  }

  FakeTabs tabs;
  std::ostringstream out;
  Reporter reporter{out, "2024-05-01 10:00:00"};
  Console console{out, false};
  RunSettings settings;
};

TEST_F(WholeRun, ACrashCostsOneScriptAndTheBrowserIsStartedAgainOncePerScript) {
  // The browser dies during the first act of the first script.
  tabs.after_act = [](FakeTab& tab, FakeTabs& owner) {
    owner.after_act = nullptr;
    owner.alive = false;
    tab.lost = PageError::Kind::gone;
    tab.has_crashed = true;
  };
  const RunOutcome outcome = run({script("one.test", {"click \"Save\"", "click \"Save\"", "wait 1"}),
                                  script("two.test", {"click \"Save\"", "verify \"Save\" is present"}),
                                  script("three.test", {"click \"Save\""})});
  ASSERT_EQ(outcome.scripts.size(), 3u);
  EXPECT_EQ(outcome.browser_version, "FakeChrome/1.0");
  const Counts one = outcome.scripts[0].counts();
  EXPECT_EQ(one.passed, 1u);
  EXPECT_EQ(one.failed, 1u);
  EXPECT_EQ(one.not_run, 1u);
  EXPECT_EQ(outcome.scripts[0].steps[1].reason, "the browser tab crashed");
  // The next script got a new browser, said so, and ran; the one after needed none.
  EXPECT_EQ(tabs.restarts, 1);
  EXPECT_EQ(outcome.scripts[1].counts().passed, 2u);
  EXPECT_THAT(outcome.scripts[1].notes,
              ::testing::ElementsAre("the browser had stopped answering; a new one was started for this script"));
  EXPECT_TRUE(outcome.scripts[2].notes.empty());
  EXPECT_EQ(outcome.scripts[2].counts().passed, 1u);

  // Headings and closing lines, in script order, around the reporter's lines.
  const std::string text = out.str();
  EXPECT_THAT(text, HasSubstr("\n[1/3] one.test\n  [PASS] click \"Save\"  (via DOM)\n"));
  EXPECT_THAT(text, HasSubstr("[1/3] one.test: 1 passed, 1 failed, 1 not run in "));
  EXPECT_THAT(text, HasSubstr("\n[2/3] two.test\n         note    : the browser had stopped answering"));
  EXPECT_LT(text.find("[2/3] two.test: 2 passed in "), text.find("[3/3] three.test\n"));
  EXPECT_EQ(reporter.results.size(), 6u);

  // A browser that cannot be started again costs only the scripts that need it, with
  // the reason; it is tried once per script.
  tabs.alive = false;
  tabs.restarts = 0;
  tabs.restart_fails = "Chromium did not start";
  const RunOutcome dead = run({script("a.test", {"click \"Save\"", "wait 1"}), script("b.test", {"wait 1"})});
  EXPECT_EQ(tabs.restarts, 2);
  EXPECT_EQ(dead.scripts[0].steps[1].status, StepStatus::not_run);
  EXPECT_EQ(dead.scripts[0].steps[1].reason,
            "not run: the browser stopped answering and could not be started again: Chromium did not start");

  // A browser that answers but opens no tab is started again once, not in a loop.
  tabs.alive = true;
  tabs.restart_fails.reset();
  tabs.restarts = 0;
  tabs.tabs_fail = true;
  const RunOutcome no_tab = run({script("c.test", {"wait 1"})});
  EXPECT_EQ(tabs.restarts, 0);
  EXPECT_EQ(no_tab.scripts[0].steps[0].reason, "not run: no browser tab could be opened: the browser is gone");
}

TEST_F(WholeRun, AStopEndsTheRunAndEveryReportStillCoversEveryStep) {
  bool stopping = false;
  settings.stop = [&stopping] { return stopping ? std::optional<int>(SIGTERM) : std::nullopt; };
  tabs.after_act = [&stopping](FakeTab&, FakeTabs&) { stopping = true; };
  const RunOutcome outcome = run({script("one.test", {"click \"Save\"", "wait 1"}),
                                  script("two.test", {"click \"Save\"", "wait 1"})});
  EXPECT_EQ(outcome.interrupted_by, SIGTERM);
  EXPECT_EQ(outcome.counts().passed, 1u);
  EXPECT_EQ(outcome.counts().not_run, 3u);
  EXPECT_EQ(outcome.scripts[1].steps[0].reason, "not run: the run was interrupted (SIGTERM)");

  std::string pattern = (fs::temp_directory_path() / "quillfen-run-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;
  OutputFiles files{dir / "report.html", dir / "junit.xml", dir / "run.json"};
  std::ostringstream errors;
  EXPECT_EQ(finish_run(outcome, reporter, console, errors, files), 128 + SIGTERM);
  EXPECT_EQ(errors.str(), "");
  // The reporter's report has a row for every step, the steps not run among the failures.
  const std::string report = slurp(dir / "report.html");
  EXPECT_THAT(report, HasSubstr("<td>4</td>\n                <td><code>wait 1</code></td>"));
  const std::string junit = slurp(dir / "junit.xml");
  EXPECT_THAT(junit, HasSubstr("<testsuites name=\"quillfen\" tests=\"4\" failures=\"3\""));
  EXPECT_THAT(junit, HasSubstr("<failure message=\"not run: the run was interrupted (SIGTERM)\">"));
  const Json json = Json::parse(slurp(dir / "run.json"));
  EXPECT_EQ(json["status"], "interrupted");
  EXPECT_EQ(json["interrupted"], "SIGTERM");
  EXPECT_EQ(json["scripts"][1]["steps"][1]["status"], "not_run");
  EXPECT_THAT(out.str(), HasSubstr("  JSON        \u2192 " + (dir / "run.json").string() + "\n"));

  // A file that cannot be written is one sentence; the others are still written, and
  // the code of the stop wins.
  fs::remove(dir / "run.json");
  files.junit = "/proc/no/such/junit.xml";
  std::ostringstream more_errors;
  EXPECT_EQ(finish_run(outcome, reporter, console, more_errors, files), 128 + SIGTERM);
  EXPECT_THAT(more_errors.str(), HasSubstr("quillfen run: cannot write the JUnit file /proc/no/such/junit.xml"));
  EXPECT_TRUE(fs::exists(dir / "run.json"));
  fs::remove_all(dir);
}

// The times of a text, which differ from run to run, blotted out.
std::string without_times(const std::string& text) {
  return std::regex_replace(std::regex_replace(text, std::regex(" in [0-9.]+ s"), " in _ s"),
                            std::regex("time=\"[0-9.]+\""), "time=\"_\"");
}

TEST_F(WholeRun, WorkersPrintAndReportExactlyWhatASerialRunDoes) {
  std::vector<Script> scripts;
  for (int i = 1; i <= 7; ++i) {
    // Scripts of different lengths, so that they end out of order on the workers.
    std::vector<std::string> lines{"click \"Save\""};
    for (int j = 0; j < (7 - i) % 3; ++j) lines.push_back("wait 30");
    lines.push_back(i % 3 == 0 ? "click \"Missing\"" : "verify \"Save\" is present");
    scripts.push_back(script("s" + std::to_string(i) + ".test", lines));
  }
  settings.steps = StepSettings{50ms, 5ms};
  const RunOutcome serial = run_scripts(scripts, tabs, reporter, console, settings);
  const std::string serial_out = out.str();

  std::ostringstream parallel_out;
  Reporter parallel_reporter{parallel_out, "2024-05-01 10:00:00"};
  Console parallel_console{parallel_out, false};
  FakeTabs second;
  FakeTabs third;
  const RunOutcome parallel =
      run_scripts(scripts, std::vector<TabSource*>{&tabs, &second, &third}, parallel_reporter, parallel_console, settings);

  EXPECT_EQ(without_times(parallel_out.str()), without_times(serial_out));
  ASSERT_EQ(parallel_reporter.results.size(), reporter.results.size());
  for (std::size_t i = 0; i < reporter.results.size(); ++i) {
    EXPECT_EQ(parallel_reporter.results[i].instruction, reporter.results[i].instruction);
    EXPECT_EQ(parallel_reporter.results[i].status, reporter.results[i].status);
    EXPECT_EQ(parallel_reporter.results[i].reasons, reporter.results[i].reasons);
  }
  EXPECT_EQ(without_times(junit_xml(parallel)), without_times(junit_xml(serial)));
  ASSERT_EQ(parallel.scripts.size(), scripts.size());
  for (std::size_t i = 0; i < scripts.size(); ++i) EXPECT_EQ(parallel.scripts[i].path, scripts[i].path.string());
  EXPECT_EQ(parallel.counts().failed, 2u);
}

TEST(JsonDocument, HoldsTheWholeRunWithEveryMemberAndPageTextAsText) {
  RunOutcome run;
  run.browser_version = "Chrome/120";
  run.command_line = {"quillfen", "run", "a.test", "--json", "r.json"};
  run.duration = Seconds{1.23456};
  ScriptOutcome script;
  script.path = "a.test";
  StepOutcome passed;
  passed.line = 3;
  passed.instruction = "click \"<b>Save</b>\"";
  passed.action = "click";
  passed.status = StepStatus::passed;
  passed.strategy = "DOM";
  passed.level = 1;
  ElementRecord record;
  record.tag = "button";
  record.text = "  <b>Save</b> \"now\"\n";
  record.xpath = "/html[1]/body[1]/button[1]";
  record.bounding_box = BoundingBox{1, 2, 3, 4, false};
  record.is_visible = true;
  record.is_enabled = true;
  record.attributes.set("id", "save");
  passed.element = element_info(record);
  passed.duration = Seconds{0.0004};
  passed.attachments.push_back({"screenshot", "shots/a-3.png", "image/png"});
  StepOutcome failed;
  failed.line = 4;
  failed.instruction = "verify \"x\" is present";
  failed.status = StepStatus::failed;
  failed.reason = "the check failed";
  failed.state = Json{{"present", false}};
  failed.candidates.push_back(element_info(record));
  script.steps = {passed, failed};
  run.scripts = {script};

  const std::string text = dump_document(to_json(run));
  const Json doc = Json::parse(text);
  EXPECT_EQ(doc["status"], "failed");
  EXPECT_EQ(doc["browser"], "Chrome/120");
  EXPECT_EQ(doc["duration_seconds"], 1.235);
  EXPECT_EQ(doc["counts"], (Json{{"steps", 2}, {"passed", 1}, {"failed", 1}, {"not_run", 0}}));
  EXPECT_EQ(doc["command_line"][3], "--json");
  const Json& step = doc["scripts"][0]["steps"][0];
  // Every member is there, null when it does not apply.
  for (const char* key : {"line", "instruction", "action", "status", "strategy", "level", "element", "anchor",
                          "candidates", "started", "duration_seconds", "reason", "state", "extracted", "notes",
                          "attachments"}) {
    EXPECT_TRUE(step.contains(key)) << key;
  }
  EXPECT_TRUE(step["anchor"].is_null());
  EXPECT_EQ(step["level"], 1);
  EXPECT_EQ(step["duration_seconds"], 0.0);
  // Markup in page text stays the text it was.
  EXPECT_EQ(step["instruction"], "click \"<b>Save</b>\"");
  EXPECT_EQ(step["element"]["text"], "<b>Save</b> \"now\"");
  EXPECT_EQ(step["element"]["id"], "save");
  EXPECT_EQ(step["element"]["box"]["width"], 3);
  EXPECT_EQ(step["attachments"][0]["path"], "shots/a-3.png");
  const Json& second = doc["scripts"][0]["steps"][1];
  EXPECT_EQ(second["status"], "failed");
  EXPECT_EQ(second["reason"], "the check failed");
  EXPECT_EQ(second["state"]["present"], false);
  EXPECT_TRUE(second["element"].is_null());
  EXPECT_EQ(second["candidates"][0]["xpath"], "/html[1]/body[1]/button[1]");
}

}  // namespace
}  // namespace quillfen::runner
