// `quillfen run`: runs test scripts in headless Chromium (launched, or a running one
// reached through its endpoint), one fresh tab per script in a browser context of the
// run's own, and reports every step on the console, in the HTML report and optionally in
// JUnit XML.
#include "runner/cli/commands.hpp"
#include "runner/cli/options.hpp"

#include "chromium/browser.hpp"
#include "engine/agent/reporter.hpp"
#include "engine/browser/settings.hpp"
#include "runner/browser_choice.hpp"
#include "runner/cli/browser_options.hpp"
#include "runner/instruction_reader.hpp"
#include "runner/junit_report.hpp"
#include "runner/script_file.hpp"
#include "runner/step_runner.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace quillfen::cli {

namespace {

using Clock = std::chrono::steady_clock;

struct RunOptions {
  std::vector<std::string> scripts;
  std::string url;
  int timeout_ms = 5000;
  std::string junit;
  std::string report = Reporter::DEFAULT_REPORT_PATH.string();
  BrowserFlags browser;
  std::string downloads;
  bool snapshots = false;
  bool headed = false;
};

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs one script in a fresh tab; steps after a crash or hang of the tab fail unrun.
runner::SuiteResult run_script(chromium::BrowserContext& browser, Reporter& reporter, const runner::Script& script,
                               const RunOptions& options) {
  const auto started = Clock::now();
  runner::SuiteResult suite{script.path.string(), 0.0, {}};
  std::cout << "\n" << script.path.string() << "\n";
  std::cout.flush();

  const std::chrono::milliseconds load_timeout{std::max(options.timeout_ms, 10000)};
  std::unique_ptr<chromium::ChromiumPage> page;
  try {
    page = browser.new_page();
  } catch (const PageError& e) {
    runner::fail_steps(reporter, std::cout, script.steps, 0,
                       std::string("not run: no browser tab could be opened: ") + e.what(), suite.cases);
    suite.seconds = seconds_since(started);
    return suite;
  }
  page->set_load_timeout(load_timeout);
  if (!options.url.empty()) {
    std::string failure;
    try {
      const chromium::ActOutcome opened = page->navigate(options.url, load_timeout);
      if (!opened.done()) failure = opened.reason;
    } catch (const PageError& e) {
      failure = e.what();
    }
    if (!failure.empty()) {
      runner::fail_steps(reporter, std::cout, script.steps, 0,
                         "not run: the start page could not be opened: " + failure, suite.cases);
      suite.seconds = seconds_since(started);
      return suite;
    }
  }

  const runner::StepSettings settings{std::chrono::milliseconds{options.timeout_ms}};
  runner::StepRunner steps(*page, reporter, std::cout, std::filesystem::absolute(script.path).parent_path(),
                           settings);
  suite.cases = steps.run_all(script.steps);
  suite.seconds = seconds_since(started);
  return suite;
}

int run(const RunOptions& options) {
  const runner::InstructionReader reader;
  std::vector<runner::Script> scripts;
  std::vector<std::string> issues;
  for (const auto& file : options.scripts) {
    try {
      scripts.push_back(runner::read_script(file));
    } catch (const std::exception& e) {
      std::cerr << "quillfen run: " << e.what() << "\n";
      return 2;
    }
    const auto found = runner::script_issues(scripts.back(), reader);
    issues.insert(issues.end(), found.begin(), found.end());
  }
  if (!issues.empty()) {
    for (const auto& issue : issues) std::cout << issue << "\n";
    std::cerr << "quillfen run: " << issues.size() << (issues.size() == 1 ? " issue" : " issues")
              << " found in the scripts; nothing was run. Fix the lines above and run again.\n";
    return 1;
  }

  settings::SAVE_SNAPSHOTS = options.snapshots;
  runner::BrowserChoice choice;
  options.browser.apply(choice);
  choice.headed = options.headed;
  if (!options.downloads.empty()) choice.downloads = std::filesystem::path(options.downloads);
  // A page that answers nothing for this long is taken to hang.
  choice.command_timeout = std::chrono::milliseconds{10000 + options.timeout_ms};
  std::unique_ptr<chromium::Browser> browser;
  std::unique_ptr<chromium::BrowserContext> context;
  try {
    browser = runner::BrowserOpener(choice, std::cerr).open();
    // The run's tabs share a context of their own: in a browser that is not ours, what
    // they leave (cookies, storage) goes with it.
    context = browser->new_context();
  } catch (const std::exception& e) {
    std::cerr << "quillfen run: " << e.what() << "\n";
    return 2;
  }

  Reporter reporter(std::cout);
  std::vector<runner::SuiteResult> suites;
  for (const auto& script : scripts) suites.push_back(run_script(*context, reporter, script, options));
  context.reset();
  browser.reset();

  bool all_passed = true;
  for (const auto& record : reporter.results) all_passed = all_passed && record.status == "PASS";
  int status = all_passed ? 0 : 1;
  try {
    reporter.summary(options.report);
  } catch (const std::exception& e) {
    std::cerr << "quillfen run: " << e.what() << "\n";
    status = 2;
  }
  if (!options.junit.empty()) {
    try {
      runner::write_junit(options.junit, suites);
      std::cout << "  JUnit XML   → " << options.junit << "\n";
    } catch (const std::exception& e) {
      std::cerr << "quillfen run: " << e.what() << "\n";
      status = 2;
    }
  }
  std::cout.flush();
  return status;
}

}  // namespace

void add_run_command(CLI::App& app, int& status) {
  auto options = std::make_shared<RunOptions>();
  CLI::App* run_command = app.add_subcommand(
      "run",
      "Runs test scripts in headless Chromium, each in a fresh tab, and reports every step.\n"
      "Every script is checked first: when any line is invalid, its issues are printed as\n"
      "FILE:LINE: ISSUE and nothing runs. Relative paths of `navigate` steps are taken from\n"
      "the script's folder. The HTML report goes to --report.\n"
      "Exit codes: 0 every step passed; 1 a step failed or a script has invalid lines;\n"
      "2 usage errors, an unreadable script, a browser that cannot start or be reached, or a\n"
      "report that cannot be written.");
  run_command->add_option("scripts", options->scripts, "Script files, one instruction per line")
      ->required()
      ->check(CLI::ExistingFile);
  run_command->add_option("--url", options->url, "Page (URL or local file) opened before each script's first step");
  run_command->add_option("--timeout", options->timeout_ms,
                          "How long a step waits for its element or its check, in milliseconds")
      ->default_val(5000)
      ->check(milliseconds_between(0, 600000));
  run_command->add_option("--junit", options->junit, "Also write JUnit XML to this file");
  run_command->add_option("--report", options->report, "Where to write the HTML report")
      ->default_val(Reporter::DEFAULT_REPORT_PATH.string());
  CLI::Option* endpoint = add_browser_options(*run_command, options->browser);
  run_command->add_option("--downloads", options->downloads,
                          "Let page downloads land in this folder (default: downloads are refused); with "
                          "--browser-endpoint, a folder on the browser's machine");
  run_command->add_flag("--snapshots", options->snapshots, "Save a JSON snapshot of every page scan");
  run_command->add_flag("--headed", options->headed, "Show the browser window (needs a display)")->excludes(endpoint);
  run_command->callback([options, &status] { status = run(*options); });
}

}  // namespace quillfen::cli
