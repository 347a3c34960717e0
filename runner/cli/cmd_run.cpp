// `quillfen run`: runs test scripts (or every script under a folder, or one shard of
// them) in headless Chromium (launched, or a running one reached through its endpoint),
// one fresh tab per script in a browser context of its worker's own, on one or more
// workers, and reports every step on the console, in the HTML report and optionally in
// JUnit XML and JSON.
#include "runner/cli/commands.hpp"
#include "runner/cli/options.hpp"

#include "chromium/browser.hpp"
#include "engine/agent/reporter.hpp"
#include "engine/browser/settings.hpp"
#include "runner/browser_choice.hpp"
#include "runner/cli/browser_options.hpp"
#include "runner/instruction_reader.hpp"
#include "runner/interruption.hpp"
#include "runner/script_file.hpp"
#include "runner/script_list.hpp"
#include "runner/test_run.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillfen::cli {

namespace {

struct RunOptions {
  std::vector<std::string> scripts;
  std::string url;
  int timeout_ms = 5000;
  std::string junit;
  std::string json;
  std::string report = Reporter::DEFAULT_REPORT_PATH.string();
  BrowserFlags browser;
  std::string downloads;
  bool snapshots = false;
  bool headed = false;
  bool verbose = false;
  std::string screenshots = "failures";
  // 0: as many as the machine has cores.
  std::size_t workers = 0;
  std::string shard;
};

// As many workers as asked for (else one per core), never more than there are scripts:
// none for none, so that an empty shard starts no browser.
std::size_t worker_count(std::size_t asked, std::size_t scripts) {
  const std::size_t wanted = asked > 0 ? asked : std::max(1u, std::thread::hardware_concurrency());
  return std::min(wanted, scripts);
}

int run(const RunOptions& options, const std::vector<std::string>& command_line) {
  const runner::InstructionReader reader;
  std::vector<runner::Script> scripts;
  std::vector<std::string> issues;
  std::vector<std::filesystem::path> files;
  try {
    files = runner::expand_scripts(options.scripts);
  } catch (const runner::ScriptListError& e) {
    std::cerr << "quillfen run: " << e.what() << "\n";
    return 2;
  }
  if (!options.shard.empty()) {
    const auto shard = runner::parse_shard(options.shard);
    if (!shard) {
      std::cerr << "quillfen run: --shard " << options.shard
                << " is not a shard; write I/N, the I-th of N slices, with 1 <= I <= N.\n";
      return 2;
    }
    files = runner::shard_slice(std::move(files), *shard);
    if (files.empty()) std::cout << "Shard " << options.shard << " has no script to run.\n";
  }
  for (const auto& file : files) {
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
  // As for `navigate` steps (see step_runner.cpp).
  const std::chrono::milliseconds load_timeout{std::max(options.timeout_ms, 30000)};
  std::vector<std::unique_ptr<runner::TabSource>> tabs;
  try {
    // One opener for every worker, so that the note about the sandbox comes once. The
    // browsers start one after the other; later, a worker that restarts its browser
    // takes the same lock.
    auto opener = std::make_shared<runner::BrowserOpener>(choice, std::cerr);
    auto opening = std::make_shared<std::mutex>();
    const std::size_t count = worker_count(options.workers, scripts.size());
    for (std::size_t i = 0; i < count; ++i) {
      tabs.push_back(std::make_unique<runner::BrowserTabs>(
          [opener, opening] {
            const std::lock_guard lock(*opening);
            return opener->open();
          },
          load_timeout));
    }
  } catch (const std::exception& e) {
    std::cerr << "quillfen run: " << e.what() << "\n";
    return 2;
  }

  runner::catch_stop_signals();
  runner::RunSettings settings;
  settings.steps.timeout = std::chrono::milliseconds{options.timeout_ms};
  settings.start_url = options.url;
  settings.load_timeout = load_timeout;
  settings.stop = runner::stop_signal;
  settings.command_line = command_line;
  runner::PictureTaker taker(options.report);
  runner::StepPictures pictures(*runner::picture_when(options.screenshots), taker);
  settings.pictures = &pictures;
  Reporter reporter(std::cout);
  runner::Console console(std::cout, options.verbose);
  std::vector<runner::TabSource*> workers;
  for (const auto& source : tabs) workers.push_back(source.get());
  const runner::RunOutcome outcome = runner::run_scripts(scripts, workers, reporter, console, settings);
  // The browsers end before the reports are written, so that none outlives a stop.
  tabs.clear();

  runner::OutputFiles outputs;
  outputs.report = options.report;
  if (!options.junit.empty()) outputs.junit = options.junit;
  if (!options.json.empty()) outputs.json = options.json;
  return runner::finish_run(outcome, reporter, console, std::cerr, outputs);
}

}  // namespace

void add_run_command(CLI::App& app, int& status, const std::vector<std::string>& command_line) {
  auto options = std::make_shared<RunOptions>();
  CLI::App* run_command = app.add_subcommand(
      "run",
      "Runs test scripts in headless Chromium, each in a fresh tab, and reports every step.\n"
      "A folder stands for every *.test file under it, sorted. Every script is checked\n"
      "first: when any line is invalid, its issues are printed as FILE:LINE: ISSUE and\n"
      "nothing runs. Relative paths of `navigate` steps are taken from the script's folder.\n"
      "The HTML report goes to --report.\n"
      "Exit codes: 0 every step passed; 1 a step failed or a script has invalid lines;\n"
      "2 usage errors, an unreadable script, a browser that cannot start or be reached, or a\n"
      "report that cannot be written; 130/143 stopped by SIGINT/SIGTERM.");
  run_command->add_option("scripts", options->scripts, "Script files (one instruction per line) or folders of them")
      ->required()
      ->check(CLI::ExistingPath);
  run_command->add_option("--url", options->url, "Page (URL or local file) opened before each script's first step");
  run_command->add_option("--timeout", options->timeout_ms,
                          "How long a step waits for its element or its check, in milliseconds")
      ->default_val(5000)
      ->check(milliseconds_between(0, 600000));
  run_command->add_option("--junit", options->junit, "Also write JUnit XML to this file");
  run_command->add_option("--json", options->json,
                          "Also write the whole run (scripts, steps, elements, timings) as JSON to this file");
  run_command->add_option("--report", options->report, "Where to write the HTML report")
      ->default_val(Reporter::DEFAULT_REPORT_PATH.string());
  CLI::Option* endpoint = add_browser_options(*run_command, options->browser);
  run_command->add_option("--downloads", options->downloads,
                          "Let page downloads land in this folder (default: downloads are refused); with "
                          "--browser-endpoint, a folder on the browser's machine");
  run_command->add_flag("--snapshots", options->snapshots, "Save a JSON snapshot of every page scan");
  run_command->add_flag("--headed", options->headed, "Show the browser window (needs a display)")->excludes(endpoint);
  run_command->add_option("--workers", options->workers,
                          "How many scripts run at once, each worker with a browser of its own "
                          "(default: one per core, at most one per script)")
      ->check(CLI::Range(1, 64));
  run_command->add_option("--shard", options->shard,
                          "Run only the I-th of N slices of the scripts (sorted by path), as I/N, e.g. 2/4");
  run_command->add_flag("--verbose,-v", options->verbose,
                        "Under each step, the element it used and how it was found, or the closest candidates");
  run_command->add_option("--screenshots", options->screenshots,
                          "Which steps get a picture of the page, with the element outlined, in a folder "
                          "beside the report: failures, all or off")
      ->default_val("failures")
      ->check(CLI::IsMember({"failures", "all", "off"}));
  run_command->callback([options, &status, &command_line] { status = run(*options, command_line); });
}

}  // namespace quillfen::cli
