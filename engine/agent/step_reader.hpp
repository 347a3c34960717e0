// The instruction language: one plain-language test line in, one ParsedInstruction out,
// plus a lighter line-by-line syntax check of whole scripts.
//
// All text work is done in code points: a line is decoded (invalid UTF-8 becomes U+FFFD),
// prefixes and keywords are found in its lower-cased copy, and the original is cut at the
// same code-point positions. Every string that comes out is valid UTF-8.
#pragma once

#include "engine/core/records.hpp"

#include <array>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillfen {

// A double-quoted name: a straight double quote, one or more characters that are not
// double quotes (the name), a straight double quote. StepReader::_unquote scans for it by
// hand, because std::regex recurses once per character and overflows the stack on long
// lines.
inline constexpr std::string_view _QUOTE_RE = R"re("([^"]+)")re";

// Ordinal words that may open the target of click and extract text.
inline constexpr std::array<std::pair<std::string_view, int>, 5> _ORDINALS{{
    {"first", 1}, {"second", 2}, {"third", 3}, {"fourth", 4}, {"fifth", 5}}};

// Directional keywords, each ending in one blank.
inline constexpr std::array<std::string_view, 7> _SPATIAL_KW{
    "next to ", "below ", "above ", "left of ", "right of ", "under ", "near "};

// The ordinal named by the first word of `text` (1 when it names none) and the text
// after that word: 'second Submit' gives (2, "Submit"), 'the first button' gives
// (1, "the first button").
std::pair<int, std::string> _extract_ordinal(std::string_view text);

class StepReader {
 public:
  // Named in the rejection message only; parsing does not consult it.
  static constexpr std::array<std::string_view, 20> SUPPORTED_ACTIONS{
      "click",          "type",
      "hover",          "select",
      "press_key",      "sendkeys",
      "extract_text",   "extract_text_spatial",
      "find_text",      "find_exact_text",
      "verify_present", "verify_visible",
      "verify_enabled", "verify_disabled",
      "verify_text_present", "verify_text_visible",
      "verify_spatial_text", "accept_dialog",
      "dismiss_dialog", "verify_dialog"};

  // State endings of 'verify X <ending>' and the actions they give, in trial order.
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 4> _VERIFY_STATES{{
      {"is present", "verify_present"},
      {"is visible", "verify_visible"},
      {"is enabled", "verify_enabled"},
      {"is disabled", "verify_disabled"}}};

  // State endings of 'verify text X <ending>'.
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 2> _VERIFY_TEXT_STATES{{
      {"is present", "verify_text_present"}, {"is visible", "verify_text_visible"}}};

  // Words dropped from the front of a target ('click the login button').
  static constexpr std::array<std::string_view, 7> _STOP_WORDS{"on", "the", "a", "an", "in", "at", "into"};

  // First words that validation accepts.
  static constexpr std::array<std::string_view, 15> _KNOWN_ACTIONS{
      "click", "type", "hover", "select", "press",   "sendkeys", "wait",    "verify",
      "find",  "extract", "accept", "dismiss", "back", "refresh", "navigate"};

  // The instruction of one line. Throws std::invalid_argument, whose what() is the
  // "Unrecognised instruction: ..." message, when the line matches no instruction form.
  ParsedInstruction parse(std::string_view instruction) const;

  // The text with every double-quoted name replaced by its contents, and the names in
  // order of appearance. An empty pair of quotes or an unbalanced quote stays as it is.
  std::pair<std::string, std::vector<std::string>> _unquote(std::string_view instruction) const;

  // The target without leading stop words, its words joined by single blanks.
  std::string _clean_target(std::string_view target) const;

  // The syntax issues of one line, in the order found; empty when the line is valid.
  std::vector<std::string> validate(std::string_view instruction) const;

  // The issues of each line that has any, keyed by line number counted from 1.
  std::map<int, std::vector<std::string>> validate_all(const std::vector<std::string>& instructions) const;
};

}  // namespace quillfen
