// A whole run: each script in a fresh tab, with a heading and a closing line per script,
// the reporter's lines for every step, and an outcome record for all of it; then the
// summary, the HTML report, JUnit and JSON, and the exit code.
//
// With several workers, each has tabs of its own (its own browser, so nothing of one
// script's cookies, storage or crash reaches another) and takes the next script not
// yet taken. A script's lines are kept until it ends and then printed whole, in script
// order, and its reporter records joined to the run's in that order, so the console,
// the summary and every report read as those of a serial run; only the times differ.
//
// A browser that dies costs the script it died in, not the run: before each script the
// browser is asked whether it still answers, and one that does not is started again,
// at most once per script. A stop asked for (SIGINT, SIGTERM) ends the step under way;
// the later steps and scripts are not run, and are marked so in every output.
#pragma once

#include "chromium/browser.hpp"
#include "chromium/tab.hpp"
#include "engine/agent/reporter.hpp"
#include "runner/console.hpp"
#include "runner/interruption.hpp"
#include "runner/outcome.hpp"
#include "runner/script_file.hpp"
#include "runner/step_pictures.hpp"
#include "runner/step_runner.hpp"

#include <chrono>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillfen::runner {

// Where a run gets its tabs, and a new browser when the one it had died.
class TabSource {
 public:
  virtual ~TabSource() = default;
  // A fresh blank tab. Throws PageError when none can be opened.
  virtual std::unique_ptr<chromium::Tab> new_tab() = 0;
  // Whether the browser behind the tabs still answers.
  virtual bool browser_alive() = 0;
  // Replaces the browser by a new one. Throws std::exception, one sentence in what().
  virtual void restart_browser() = 0;
  virtual std::string browser_version() = 0;
};

// Tabs each in a browser context of its own (so in a browser that is not ours, what a
// script leaves goes with its context), in a browser that `open` starts (or reaches),
// started (or reached) again by the same call when it died. Tabs wait up to
// `load_timeout` for a page that an act starts to load.
class BrowserTabs : public TabSource {
 public:
  using Open = std::function<std::unique_ptr<chromium::Browser>()>;
  // Opens the browser now; what `open` throws goes to the caller.
  BrowserTabs(Open open, std::chrono::milliseconds load_timeout);
  ~BrowserTabs() override;

  std::unique_ptr<chromium::Tab> new_tab() override;
  bool browser_alive() override;
  void restart_browser() override;
  std::string browser_version() override;

 private:
  Open open_;
  std::chrono::milliseconds load_timeout_;
  std::unique_ptr<chromium::Browser> browser_;
  std::unique_ptr<chromium::BrowserContext> context_;
};

struct RunSettings {
  StepSettings steps;
  // A page opened before each script's first step; "" for none.
  std::string start_url;
  // How long the start page may take to load.
  std::chrono::milliseconds load_timeout{10000};
  StopRequest stop = never_stop();
  std::vector<std::string> command_line;
  // Takes the pictures of steps as they end; none taken when null.
  StepPictures* pictures = nullptr;
};

// Runs the scripts in order. Every step of every script gets its outcome, run or not.
RunOutcome run_scripts(const std::vector<Script>& scripts, TabSource& tabs, Reporter& reporter, Console& console,
                       const RunSettings& settings);

// The same with one worker per tab source (one source runs as above, its lines printed
// as they come; none is enough for no scripts, and opens no browser). A script that
// fails to run at all (an error beyond its steps' own) is thrown after every worker
// ended.
RunOutcome run_scripts(const std::vector<Script>& scripts, const std::vector<TabSource*>& workers, Reporter& reporter,
                       Console& console, const RunSettings& settings);

struct OutputFiles {
  std::filesystem::path report = Reporter::DEFAULT_REPORT_PATH;
  std::optional<std::filesystem::path> junit;
  std::optional<std::filesystem::path> json;
};

// Prints the summary and writes the report, JUnit and JSON (each that is asked for; one
// that cannot be written is one sentence on `errors`, and the others are still written).
// Returns the exit code: 128 + the signal when the run was stopped by one, else 2 when a
// file could not be written, 1 when a step failed or did not run, 0 when all passed.
int finish_run(const RunOutcome& run, Reporter& reporter, Console& console, std::ostream& errors,
               const OutputFiles& files);

}  // namespace quillfen::runner
