// The instruction language as the runner reads it: the engine's StepReader, and a few
// more forms for lines that StepReader rejects.
//
// Every line StepReader accepts is read exactly as StepReader reads it; the added forms
// are tried only for lines it rejects, and a line that no form reads keeps StepReader's
// message. The added forms are the double and right click, ticking and clearing check
// boxes, checks of a check box's state, checks that something is not shown or not there,
// and checks of the page's title and address. Validation grows the same way, and a wait
// step may not ask for more than MAX_WAIT.
#pragma once

#include "engine/agent/step_reader.hpp"
#include "engine/core/records.hpp"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillfen::runner {

// The longest pause a wait step may ask for.
inline constexpr std::chrono::milliseconds MAX_WAIT = std::chrono::minutes{10};

// Endings of 'verify X <ending>' beyond StepReader's four, and the actions they give.
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 6> EXTRA_VERIFY_STATES{{
    {"is checked", "verify_checked"},
    {"is unchecked", "verify_unchecked"},
    {"is not checked", "verify_unchecked"},
    {"is not visible", "verify_not_visible"},
    {"is hidden", "verify_not_visible"},
    {"is not present", "verify_not_present"}}};

// Endings of 'verify text T <ending>' beyond StepReader's two.
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 2> EXTRA_VERIFY_TEXT_STATES{{
    {"is not visible", "verify_text_not_visible"}, {"is not present", "verify_text_not_present"}}};

// Every action the added forms produce.
inline constexpr std::array<std::string_view, 13> EXTRA_ACTIONS{
    "double_click",       "right_click",       "check",
    "uncheck",            "verify_checked",    "verify_unchecked",
    "verify_not_visible", "verify_not_present", "verify_text_not_visible",
    "verify_text_not_present", "verify_title", "verify_title_contains",
    "verify_url_contains"};

class InstructionReader {
 public:
  // The instruction of one line. Element acts (double_click, right_click, check,
  // uncheck) carry an ordinal as click does; title and address checks carry the
  // expected text as `value` and no target. Throws std::invalid_argument with
  // StepReader's "Unrecognised instruction: ..." message when no form reads the line.
  ParsedInstruction parse(std::string_view instruction) const;

  // The syntax issues of one line, in the order found; empty when the line is valid.
  // StepReader's issues, except that the added forms are known, a verify line without a
  // known ending is told every ending there is, and a wait longer than MAX_WAIT is an
  // issue.
  std::vector<std::string> validate(std::string_view instruction) const;

 private:
  StepReader step_reader_;
};

// The milliseconds that the text of a wait step names, when it is made of decimal
// digits (of any script); none otherwise. A number too large for the type comes back as
// the largest value, so it is never mistaken for a short one.
std::optional<std::uint64_t> wait_milliseconds(std::string_view text);

}  // namespace quillfen::runner
