// Runs the steps of one script on one tab: parse, scan, resolve (through the resolution
// chain: by text, by place on the page, then as a person reads it), act or check, log
// exactly one outcome per step with the reporter, and keep the step's outcome record
// (see outcome.hpp).
//
// Steps that need an element, and checks, are retried on a fresh scan until they
// succeed or the time-out passes, so a page that is still loading or changing does not
// fail a step; an act that is blocked is retried the same way, one that is unsuitable
// fails at once. A negation ("is not visible", "is not present") passes only once the
// page has finished loading and held still over two reads, so that a page that is not
// there yet never passes one. A dialog is held until a step answers it; any other step first
// dismisses it, with a note, so the page never hangs, and a dialog met while the page
// is read is dismissed the same way before the page is read again.
//
// The loop asks its stop request between steps and while it waits: once a stop is
// asked for, the step under way ends (failing, with the reason, unless it was done) and
// the later steps are not run.
#pragma once

#include "chromium/tab.hpp"
#include "engine/agent/reporter.hpp"
#include "runner/chain.hpp"
#include "runner/console.hpp"
#include "runner/instruction_reader.hpp"
#include "runner/interruption.hpp"
#include "runner/outcome.hpp"
#include "runner/scan_cache.hpp"
#include "runner/script_file.hpp"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillfen::runner {

struct StepSettings {
  // How long a step may wait for its element or for its check to come true.
  std::chrono::milliseconds timeout{5000};
  // Pause between two tries.
  std::chrono::milliseconds poll{150};
};

// The tab crashed or stopped answering: no later step of the script can run.
class PageGone : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Steps from `from` on, which will not run: each is logged as a failure with the reason
// under it, and comes back marked not run with that reason.
std::vector<StepOutcome> steps_not_run(Reporter& reporter, Console& console, const std::vector<ScriptStep>& steps,
                                       std::size_t from, const std::string& reason);

// "not run: the run was interrupted (SIGTERM)".
std::string interrupted_reason(int signal);

class StepRunner {
 public:
  // Relative addresses of navigate steps are taken from `script_dir`.
  StepRunner(chromium::Tab& tab, Reporter& reporter, Console& console, std::filesystem::path script_dir,
             StepSettings settings, StopRequest stop = never_stop());

  // Runs one step, logs it and returns its outcome. Throws PageGone (after nothing was
  // logged for the step) when the tab crashed or stopped answering.
  StepOutcome run(const ScriptStep& step);
  // Runs the steps in order, then finish(): one outcome per step. When the tab is lost,
  // that step fails with the reason and the later ones are not run; when a stop is asked
  // for, the later steps are not run.
  std::vector<StepOutcome> run_all(const std::vector<ScriptStep>& steps);
  // Dismisses a dialog left open at the end of the script, with a note on `last`.
  void finish(StepOutcome* last);

  // Called as each step ends, before its details are printed, with the tab, the step's
  // outcome (which it may add to) and what the step read last of the page.
  using StepEnded =
      std::function<void(chromium::Tab&, StepOutcome&, const std::optional<PageRecords>&)>;
  void on_step_end(StepEnded hook) { step_ended_ = std::move(hook); }

 private:
  void run_parsed(const ParsedInstruction& parsed);
  void run_element_step(const ParsedInstruction& parsed);
  void run_check(const ParsedInstruction& parsed);
  // verify_checked, verify_unchecked: the live state of the element found.
  void run_checked_state(const ParsedInstruction& parsed);
  // The negations: they pass only on a loaded page that holds still over two reads.
  void run_negation(const ParsedInstruction& parsed);
  // The title and address checks.
  void run_page_check(const ParsedInstruction& parsed);
  void run_dialog_step(const ParsedInstruction& parsed);
  void run_direct_step(const ParsedInstruction& parsed);

  // The page as it is now (a kept scan while nothing changed), or none (with the reason
  // in `note`) when the page could not be read before the deadline.
  std::optional<PageRecords> scan(std::optional<std::string>& note, chromium::Clock::time_point deadline,
                                  ScanCache::Extras extras);
  // What one read of the page gave a step: its records, and the chain's answer on them.
  struct Reading {
    PageRecords page;
    ChainAnswer answer;
  };
  // Reads the page and resolves the instruction on it; the extras are read only when the
  // chain asks a strategy that reads them. None as for scan().
  std::optional<Reading> read_and_resolve(const ParsedInstruction& parsed, std::optional<std::string>& note,
                                          chromium::Clock::time_point deadline);
  chromium::ActOutcome perform(const ParsedInstruction& parsed, const ElementRecord& element,
                               chromium::Clock::time_point deadline);
  // Dismisses the open dialogs, with a note each, as long as they keep opening before
  // the deadline.
  void dismiss_unanswered_dialog(chromium::Clock::time_point deadline);
  // Lets the tab run for `duration`, in short slices while no stop is asked for; whether
  // it ran the whole time.
  bool pause(std::chrono::milliseconds duration);
  // Whether the step's retries should end: the deadline passed or a stop was asked for.
  bool give_up(chromium::Clock::time_point deadline) const;
  // The address of a navigate step: a URL as it is, a path from the script's folder.
  std::string address(const std::string& target) const;
  bool is_fatal(const PageError& error) const;
  // Whether the document has finished loading (a dialog or an error counts as not).
  bool page_loaded();

  // The step's outcome, logged with the reporter and kept in `current_`.
  void passed_act(const std::string& strategy, std::optional<int> level, const Element& element,
                  const std::optional<std::string>& extracted = std::nullopt);
  void passed_direct();
  void checked_step(bool passed, const Element& element, const std::optional<Json>& state, std::optional<int> level);
  void not_found(const ParsedInstruction& parsed, const ChainAnswer& answer);
  // The candidates of a step that found nothing: those the strategies said, else the
  // records of the last scan that come closest to its target.
  void set_candidates(const ParsedInstruction& parsed, const Elements& said);
  // A failure with no result of the strategies, and the reason said under it.
  void failed(const std::string& reason);
  // The reason of a failure the reporter's lines already describe; `note` first, when
  // there is one, said under the line.
  void explain_not_found(const std::optional<std::string>& note);
  void explain_failed_check(const std::optional<std::string>& note);
  void note(const std::string& text);

  chromium::Tab& tab_;
  Reporter& reporter_;
  Console& console_;
  std::filesystem::path script_dir_;
  StepSettings settings_;
  StopRequest stop_;
  InstructionReader reader_;
  Chain chain_ = Chain::standard();
  ScanCache scans_;
  // The step under way: its outcome so far, and what its last scan read.
  ScriptStep step_;
  StepOutcome current_;
  std::optional<PageRecords> last_scan_;
  StepEnded step_ended_;
};

}  // namespace quillfen::runner
