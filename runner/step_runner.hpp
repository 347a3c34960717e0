// Runs the steps of one script on one tab: parse, scan, resolve (through the resolution
// chain: by text, then by place on the page), act or check, and log exactly one outcome
// per step.
//
// Steps that need an element, and checks, are retried on a fresh scan until they
// succeed or the time-out passes, so a page that is still loading or changing does not
// fail a step; an act that is blocked is retried the same way, one that is unsuitable
// fails at once. A negation ("is not visible", "is not present") passes only once the
// page has finished loading and held still over two reads, so that a page that is not
// there yet never passes one. A dialog is held until a step answers it; any other step first
// dismisses it, with a note, so the page never hangs, and a dialog met while the page
// is read is dismissed the same way before the page is read again.
#pragma once

#include "chromium/tab.hpp"
#include "engine/agent/reporter.hpp"
#include "runner/chain.hpp"
#include "runner/instruction_reader.hpp"
#include "runner/junit_report.hpp"
#include "runner/scan_cache.hpp"
#include "runner/script_file.hpp"

#include <chrono>
#include <filesystem>
#include <iosfwd>
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

struct StepResult {
  bool passed = false;
  // Why the step failed, one sentence; none when it passed.
  std::optional<std::string> failure;
};

// The tab crashed or stopped answering: no later step of the script can run.
class PageGone : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Prints an extra line under a step's outcome, indented like the reporter's lines.
void print_note(std::ostream& out, const std::string& note);

// Logs a failure for each step from `from` on, which can no longer run, says why under
// each, and adds their cases.
void fail_steps(Reporter& reporter, std::ostream& out, const std::vector<ScriptStep>& steps, std::size_t from,
                const std::string& reason, std::vector<CaseResult>& cases);

class StepRunner {
 public:
  // Relative addresses of navigate steps are taken from `script_dir`.
  StepRunner(chromium::Tab& tab, Reporter& reporter, std::ostream& out, std::filesystem::path script_dir,
             StepSettings settings);

  // Runs one step and logs its outcome. Throws PageGone (after nothing was logged for
  // the step) when the tab crashed or stopped answering.
  StepResult run(const ScriptStep& step);
  // Runs the steps in order, then finish(): one case per step. When the tab is lost,
  // that step fails with the reason and the later ones fail unrun.
  std::vector<CaseResult> run_all(const std::vector<ScriptStep>& steps);
  // Dismisses a dialog left open at the end of the script, with a note.
  void finish();

 private:
  StepResult run_parsed(const ScriptStep& step, const ParsedInstruction& parsed);
  StepResult run_element_step(const ScriptStep& step, const ParsedInstruction& parsed);
  StepResult run_check(const ScriptStep& step, const ParsedInstruction& parsed);
  // verify_checked, verify_unchecked: the live state of the element found.
  StepResult run_checked_state(const ScriptStep& step, const ParsedInstruction& parsed);
  // The negations: they pass only on a loaded page that holds still over two reads.
  StepResult run_negation(const ScriptStep& step, const ParsedInstruction& parsed);
  // The title and address checks.
  StepResult run_page_check(const ScriptStep& step, const ParsedInstruction& parsed);
  StepResult run_dialog_step(const ScriptStep& step, const ParsedInstruction& parsed);
  StepResult run_direct_step(const ScriptStep& step, const ParsedInstruction& parsed);

  // The two lists of the page as it is now (a kept scan while nothing changed), or none
  // (with the reason in `note`) when the page could not be read before the deadline.
  std::optional<std::pair<Elements, Elements>> scan(std::optional<std::string>& note,
                                                    chromium::Clock::time_point deadline);
  chromium::ActOutcome perform(const ParsedInstruction& parsed, const ElementRecord& element,
                               chromium::Clock::time_point deadline);
  // Dismisses the open dialogs, with a note each, as long as they keep opening before
  // the deadline.
  void dismiss_unanswered_dialog(chromium::Clock::time_point deadline);
  // The address of a navigate step: a URL as it is, a path from the script's folder.
  std::string address(const std::string& target) const;
  bool is_fatal(const PageError& error) const;
  // Whether the document has finished loading (a dialog or an error counts as not).
  bool page_loaded();

  StepResult failed(const std::optional<std::string>& note);
  StepResult failed_check();

  chromium::Tab& tab_;
  Reporter& reporter_;
  std::ostream& out_;
  std::filesystem::path script_dir_;
  StepSettings settings_;
  InstructionReader reader_;
  Chain chain_ = Chain::standard();
  ScanCache scans_;
};

}  // namespace quillfen::runner
