#include "runner/test_run.hpp"

#include "runner/json_report.hpp"
#include "runner/junit_report.hpp"
#include "runner/report_page.hpp"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace quillfen::runner {
namespace {

using SteadyClock = std::chrono::steady_clock;

// How long a browser may take to say whether it still answers.
constexpr std::chrono::milliseconds ALIVE_TIMEOUT{5000};

class ScriptRun {
 public:
  ScriptRun(TabSource& tabs, Reporter& reporter, Console& console, const RunSettings& settings)
      : tabs_(tabs), reporter_(reporter), console_(console), settings_(settings) {}

  ScriptOutcome run(const Script& script, std::size_t number, std::size_t total) {
    const auto started = SteadyClock::now();
    ScriptOutcome outcome;
    outcome.path = script.path.string();
    outcome.started = WallClock::now();
    console_.script_started(number, total, outcome.path);
    if (const auto signal = settings_.stop()) {
      outcome.steps = steps_not_run(reporter_, console_, script.steps, 0, interrupted_reason(*signal));
    } else {
      outcome.steps = run_steps(script, number, outcome.notes);
    }
    outcome.duration = SteadyClock::now() - started;
    console_.script_finished(number, total, outcome);
    return outcome;
  }

 private:
  std::vector<StepOutcome> run_steps(const Script& script, std::size_t number, std::vector<std::string>& notes) {
    std::string why_not;
    std::unique_ptr<chromium::Tab> tab = open_tab(notes, why_not);
    if (!tab) return steps_not_run(reporter_, console_, script.steps, 0, "not run: " + why_not);
    if (!settings_.start_url.empty()) {
      std::string failure;
      try {
        const chromium::ActOutcome opened = tab->navigate(settings_.start_url, settings_.load_timeout);
        if (!opened.done()) failure = opened.reason;
      } catch (const PageError& e) {
        failure = e.what();
      }
      if (!failure.empty()) {
        return steps_not_run(reporter_, console_, script.steps, 0,
                             "not run: the start page could not be opened: " + failure);
      }
    }
    StepRunner steps(*tab, reporter_, console_, std::filesystem::absolute(script.path).parent_path(),
                     settings_.steps, settings_.stop);
    if (settings_.pictures != nullptr) {
      steps.on_step_end([&script, number, pictures = settings_.pictures](
                            chromium::Tab& tab, StepOutcome& step,
                            const std::optional<PageRecords>& scan) {
        pictures->after_step(tab, step, number, script.path, scan);
      });
    }
    return steps.run_all(script.steps);
  }

  // A fresh tab, from a browser started again (once) when the one before died. None,
  // with the reason in `why_not`, when no tab can be had.
  std::unique_ptr<chromium::Tab> open_tab(std::vector<std::string>& notes, std::string& why_not) {
    bool restarted = false;
    const auto restart = [&]() {
      restarted = true;
      try {
        tabs_.restart_browser();
      } catch (const std::exception& e) {
        why_not = std::string("the browser stopped answering and could not be started again: ") + e.what();
        return false;
      }
      const std::string note = "the browser had stopped answering; a new one was started for this script";
      console_.note(note);
      notes.push_back(note);
      return true;
    };
    if (!tabs_.browser_alive() && !restart()) return nullptr;
    while (true) {
      try {
        return tabs_.new_tab();
      } catch (const PageError& e) {
        why_not = std::string("no browser tab could be opened: ") + e.what();
      }
      if (restarted || tabs_.browser_alive() || !restart()) return nullptr;
    }
  }

  TabSource& tabs_;
  Reporter& reporter_;
  Console& console_;
  const RunSettings& settings_;
};

}  // namespace

BrowserTabs::BrowserTabs(Open open, std::chrono::milliseconds load_timeout)
    : open_(std::move(open)), load_timeout_(load_timeout) {
  restart_browser();
}

BrowserTabs::~BrowserTabs() {
  // The context's tabs close before the browser goes.
  context_.reset();
}

std::unique_ptr<chromium::Tab> BrowserTabs::new_tab() {
  // Each script gets a context of its own, so that nothing one script leaves (cookies,
  // storage, cache) is seen by the next; the last script's tab went with its context.
  context_.reset();
  context_ = browser_->new_context();
  auto page = context_->new_page();
  page->set_load_timeout(load_timeout_);
  return page;
}

bool BrowserTabs::browser_alive() {
  try {
    browser_->session().send("Browser.getVersion", Json::object(), ALIVE_TIMEOUT);
    return true;
  } catch (const PageError&) {
    return false;
  }
}

void BrowserTabs::restart_browser() {
  // The old browser's process and profile go first.
  context_.reset();
  browser_.reset();
  browser_ = open_();
}

std::string BrowserTabs::browser_version() { return browser_ ? browser_->version() : std::string(); }

RunOutcome run_scripts(const std::vector<Script>& scripts, TabSource& tabs, Reporter& reporter, Console& console,
                       const RunSettings& settings) {
  const auto started = SteadyClock::now();
  RunOutcome run;
  run.started = WallClock::now();
  run.started_local = reporter.started_at();
  run.command_line = settings.command_line;
  run.browser_version = tabs.browser_version();
  ScriptRun script_run(tabs, reporter, console, settings);
  for (std::size_t i = 0; i < scripts.size(); ++i) {
    run.scripts.push_back(script_run.run(scripts[i], i + 1, scripts.size()));
  }
  run.interrupted_by = settings.stop();
  run.duration = SteadyClock::now() - started;
  return run;
}

RunOutcome run_scripts(const std::vector<Script>& scripts, const std::vector<TabSource*>& workers, Reporter& reporter,
                       Console& console, const RunSettings& settings) {
  if (workers.size() == 1) return run_scripts(scripts, *workers.front(), reporter, console, settings);
  if (workers.empty() && !scripts.empty()) throw std::invalid_argument("scripts to run need a worker");
  const auto started = SteadyClock::now();
  RunOutcome run;
  run.started = WallClock::now();
  run.started_local = reporter.started_at();
  run.command_line = settings.command_line;
  run.browser_version = workers.empty() ? std::string() : workers.front()->browser_version();

  // One per script: what its worker printed and logged, kept until it is its turn.
  struct Slot {
    std::ostringstream out;
    std::vector<ResultRecord> results;
    ScriptOutcome outcome;
    std::exception_ptr error;
    bool done = false;
  };
  std::vector<Slot> slots(scripts.size());
  std::mutex mutex;
  std::condition_variable finished;
  std::atomic<std::size_t> next{0};
  const auto work = [&](TabSource& tabs) {
    for (std::size_t i; (i = next++) < scripts.size();) {
      Slot& slot = slots[i];
      try {
        Reporter script_reporter(slot.out, reporter.started_at());
        Console script_console(slot.out, console.verbose());
        slot.outcome = ScriptRun(tabs, script_reporter, script_console, settings).run(scripts[i], i + 1, scripts.size());
        slot.results = std::move(script_reporter.results);
      } catch (...) {
        slot.error = std::current_exception();
      }
      const std::lock_guard lock(mutex);
      slot.done = true;
      finished.notify_all();
    }
  };
  std::vector<std::thread> threads;
  for (TabSource* tabs : workers) threads.emplace_back(work, std::ref(*tabs));

  std::exception_ptr error;
  for (Slot& slot : slots) {
    {
      std::unique_lock lock(mutex);
      finished.wait(lock, [&slot] { return slot.done; });
    }
    console.stream() << slot.out.str();
    console.flush();
    reporter.results.insert(reporter.results.end(), std::make_move_iterator(slot.results.begin()),
                            std::make_move_iterator(slot.results.end()));
    run.scripts.push_back(std::move(slot.outcome));
    if (slot.error && !error) error = slot.error;
  }
  for (std::thread& thread : threads) thread.join();
  if (error) std::rethrow_exception(error);
  run.interrupted_by = settings.stop();
  run.duration = SteadyClock::now() - started;
  return run;
}

int finish_run(const RunOutcome& run, Reporter& reporter, Console& console, std::ostream& errors,
               const OutputFiles& files) {
  const Counts counts = run.counts();
  int status = counts.passed == counts.steps ? 0 : 1;
  const auto failed_to_write = [&](const std::exception& e) {
    errors << "quillfen run: " << e.what() << "\n";
    status = 2;
  };
  reporter.additions = report_additions(run);
  try {
    reporter.summary(files.report);
  } catch (const std::exception& e) {
    failed_to_write(e);
  }
  if (files.junit) {
    try {
      write_junit(*files.junit, run, files.report.parent_path());
      console.file_written("JUnit XML", *files.junit);
    } catch (const std::exception& e) {
      failed_to_write(e);
    }
  }
  if (files.json) {
    try {
      write_json(*files.json, run);
      console.file_written("JSON", *files.json);
    } catch (const std::exception& e) {
      failed_to_write(e);
    }
  }
  console.flush();
  errors.flush();
  if (run.interrupted_by) return 128 + *run.interrupted_by;
  return status;
}

}  // namespace quillfen::runner
