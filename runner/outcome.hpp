// What happened in a run, step by step: one outcome record per step, grouped by script,
// under one record for the whole run. The step loop fills them as it goes; the console,
// JUnit and JSON writers (and any later report) render them, and nothing else keeps
// outcomes.
//
// The engine's Reporter keeps its own result records, from which it prints the step
// lines and writes the summary and the HTML report exactly as it always has. These
// records stand beside it and carry everything beyond that: the element a step used and
// how it was found, the candidates that came closest when nothing was, timings, notes,
// attachments.
#pragma once

#include "engine/core/records.hpp"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillfen::runner {

using Seconds = std::chrono::duration<double>;
using WallClock = std::chrono::system_clock;

enum class StepStatus { passed, failed, not_run };

// "passed", "failed", "not run".
std::string_view status_words(StepStatus status);

// An element of the page as a step saw it.
struct ElementInfo {
  std::string tag;
  std::string id;  // the id attribute, "" when none
  // The trimmed text, at most TEXT_LIMIT characters; `text_cut` says when it was longer.
  std::string text;
  bool text_cut = false;
  std::string label;  // the field or spatial label, "" when none
  std::string xpath;
  std::optional<BoundingBox> box;
  bool visible = false;
  bool enabled = false;

  // Page text can be a whole container's; what a reader needs to recognise it is short.
  static constexpr std::size_t TEXT_LIMIT = 200;
};

ElementInfo element_info(const ElementRecord& element);

// In plain words: <button#save> 'Save'; <input#name> labelled 'Full name' for a field
// without text; <div> when there is neither.
std::string short_name(const ElementInfo& element);

// A file that belongs to a step, such as a picture of the page.
struct Attachment {
  std::string kind;        // what it shows, for example "screenshot"
  std::string path;        // relative to the folder of the report that lists it
  std::string media_type;  // for example "image/png"
};

// The labels of the resolution levels, as the console and reports show them.
inline constexpr std::string_view DOM_LABEL = "DOM";
inline constexpr std::string_view SPATIAL_LABEL = "Spatial";
inline constexpr std::string_view RELAXED_LABEL = "Relaxed";
// Steps that need no element.
inline constexpr std::string_view DIRECT_STRATEGY = "direct";
// What the reporter counts checks under.
inline constexpr std::string_view CHECK_STRATEGY = "DOM-verify";

// The label of a resolution level (1 DOM, 2 Spatial, 3 Relaxed), "" for another.
std::string_view level_label(int level);

struct StepOutcome {
  int line = 0;             // in the script file
  std::string instruction;  // as written
  std::string action;       // as parsed; "" when the line could not be parsed
  StepStatus status = StepStatus::not_run;

  // What the step is counted under: the label of the level that found its element
  // (DOM, Spatial, Relaxed), "direct" for a step that needs no element, "DOM-verify" for
  // a check (found or not). None for an act whose element was never found.
  std::optional<std::string> strategy;
  // The resolution level that found the element the step used or checked.
  std::optional<int> level;
  // The element the step acted on, or checked (for a text check: the element holding
  // the text found).
  std::optional<ElementInfo> element;
  // The anchor text of a step resolved by its place next to another.
  std::optional<std::string> anchor;
  // When nothing was found: the elements that came closest, closest first.
  std::vector<ElementInfo> candidates;

  WallClock::time_point started{};
  Seconds duration{0};

  // Why the step failed or did not run, in plain words.
  std::optional<std::string> reason;
  // The state a check observed ({'present': True, ...}, {'expected', 'actual'}).
  std::optional<Json> state;
  // Text a step extracted.
  std::optional<std::string> extracted;
  // What else happened: dialogs dismissed, warnings.
  std::vector<std::string> notes;
  std::vector<Attachment> attachments;

  bool passed() const { return status == StepStatus::passed; }
};

struct Counts {
  std::size_t steps = 0;
  std::size_t passed = 0;
  std::size_t failed = 0;
  std::size_t not_run = 0;

  void add(const Counts& other);
};

Counts count(const std::vector<StepOutcome>& steps);

struct ScriptOutcome {
  std::string path;  // as given on the command line
  std::vector<StepOutcome> steps;
  WallClock::time_point started{};
  Seconds duration{0};
  // What happened around the steps: a browser restarted before the script, a tab that
  // could not be opened.
  std::vector<std::string> notes;

  Counts counts() const { return count(steps); }
};

struct RunOutcome {
  WallClock::time_point started{};
  // The start as the reporter shows it ("%Y-%m-%d %H:%M:%S", local time).
  std::string started_local;
  Seconds duration{0};
  std::string browser_version;  // "" when no browser was reached
  std::vector<std::string> command_line;
  std::vector<ScriptOutcome> scripts;
  // The signal (SIGINT, SIGTERM) that stopped the run early, if one did.
  std::optional<int> interrupted_by;

  Counts counts() const;
};

// A time as 2024-05-01T10:00:00.250Z.
std::string utc_text(WallClock::time_point time);

}  // namespace quillfen::runner
