#include "runner/instruction_reader.hpp"

#include "engine/core/text.hpp"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <stdexcept>

namespace quillfen::runner {

namespace {

using U32 = std::u32string;
using U32View = std::u32string_view;

// The prefixes and endings are ASCII; text::lower maps each code point to one code
// point, so a position found in the lower-cased line cuts the line itself.
U32 widen(std::string_view ascii) { return U32(ascii.begin(), ascii.end()); }

bool starts_with(U32View s, std::string_view ascii) { return text::starts_with(s, widen(ascii)); }

bool ends_with(U32View s, std::string_view ascii) { return text::ends_with(s, widen(ascii)); }

bool equals(U32View s, std::string_view ascii) { return s == widen(ascii); }

bool is_one_of(U32View word, std::initializer_list<std::string_view> words) {
  return std::any_of(words.begin(), words.end(), [&](std::string_view w) { return equals(word, w); });
}

// s[from:to] with both ends clamped, so a cut never reaches outside the text.
U32View slice(U32View s, std::size_t from, std::size_t to = U32View::npos) {
  to = std::min(to, s.size());
  from = std::min(from, to);
  return s.substr(from, to - from);
}

U32View first_word(U32View s) { return s.substr(0, static_cast<std::size_t>(
                                                        std::find_if(s.begin(), s.end(), text::is_space) - s.begin())); }

// One line: without its quotes, lower-cased (the same length), and its quoted names.
struct Line {
  U32 unquoted;
  U32 lower;
  std::vector<std::string> literals;

  bool is_literal(const std::string& target) const {
    return std::find(literals.begin(), literals.end(), target) != literals.end();
  }
};

Line read_line(const StepReader& reader, std::string_view instruction) {
  auto [unquoted, literals] = reader._unquote(text::trim(instruction));
  Line line{text::decode(unquoted), {}, std::move(literals)};
  line.lower = text::lower(line.unquoted);
  return line;
}

ParsedInstruction record(std::string_view action, std::optional<std::string> target, std::optional<std::string> value,
                         std::optional<int> ordinal, bool literal_target) {
  ParsedInstruction p;
  p.action = std::string(action);
  p.target = std::move(target);
  p.value = std::move(value);
  p.ordinal = ordinal;
  p.literal_target = literal_target;
  return p;
}

// An element act: an ordinal word may open the target, which is then read as click
// reads its target (a quoted name as written, anything else without stop words).
std::optional<ParsedInstruction> act_form(const StepReader& reader, const Line& line, std::string_view action,
                                          std::initializer_list<std::string_view> prefixes) {
  for (const auto prefix : prefixes) {
    if (!starts_with(line.lower, prefix)) continue;
    const auto [ordinal, raw] = _extract_ordinal(text::encode(slice(line.unquoted, prefix.size())));
    std::string target = line.is_literal(raw) ? raw : reader._clean_target(raw);
    const bool literal = line.is_literal(target);
    return record(action, std::move(target), std::nullopt, ordinal, literal);
  }
  return std::nullopt;
}

// 'verify X <ending>': the target lies between the prefix and the ending. Element
// targets lose their stop words; texts are taken as written.
template <std::size_t N>
std::optional<ParsedInstruction> state_form(const StepReader& reader, const Line& line, std::string_view prefix,
                                            const std::array<std::pair<std::string_view, std::string_view>, N>& states,
                                            bool element) {
  if (!starts_with(line.lower, prefix)) return std::nullopt;
  for (const auto& [ending, action] : states) {
    if (!ends_with(line.lower, ending)) continue;
    const std::string raw =
        text::encode(text::trim(slice(line.unquoted, prefix.size(), line.unquoted.size() - ending.size())));
    std::string target = element && !line.is_literal(raw) ? reader._clean_target(raw) : raw;
    const bool literal = line.is_literal(target);
    return record(action, std::move(target), std::nullopt, std::nullopt, literal);
  }
  return std::nullopt;
}

// A check of the page itself: the expected text is the rest of the line, trimmed.
std::optional<ParsedInstruction> page_form(const Line& line, std::string_view action, std::string_view prefix) {
  if (!starts_with(line.lower, prefix)) return std::nullopt;
  return record(action, std::nullopt, text::encode(text::trim(slice(line.unquoted, prefix.size()))), std::nullopt,
                false);
}

// The added forms in the order they are tried. A 'verify text' line takes only the text
// endings: read as an element named "text T", 'verify text T is hidden' would pass on
// any page, since no element has that name. The containment checks come before the
// element endings, whose words a title may hold ('verify title contains This is
// hidden'), and 'verify title is T' comes after them, so that 'verify title is checked'
// is about a check box named "title", as 'verify title is visible' is about an element
// named "title" for StepReader.
std::optional<ParsedInstruction> extra_form(const StepReader& reader, const Line& line) {
  if (auto p = act_form(reader, line, "double_click", {"double click ", "double-click "})) return p;
  if (auto p = act_form(reader, line, "right_click", {"right click ", "right-click "})) return p;
  if (auto p = act_form(reader, line, "check", {"check "})) return p;
  if (auto p = act_form(reader, line, "uncheck", {"uncheck "})) return p;
  if (starts_with(line.lower, "verify text ")) {
    return state_form(reader, line, "verify text ", EXTRA_VERIFY_TEXT_STATES, false);
  }
  if (auto p = page_form(line, "verify_title_contains", "verify title contains ")) return p;
  if (auto p = page_form(line, "verify_url_contains", "verify url contains ")) return p;
  if (auto p = state_form(reader, line, "verify ", EXTRA_VERIFY_STATES, true)) return p;
  return page_form(line, "verify_title", "verify title is ");
}

template <typename... Tables>
std::string endings_of(const Tables&... tables) {
  std::string out;
  const auto add = [&](const auto& table) {
    for (const auto& [ending, action] : table) {
      if (!out.empty()) out += " | ";
      out += ending;
    }
  };
  (add(tables), ...);
  return out;
}

// The issue of a verify line that no form reads, whose ending StepReader found unknown.
std::string unknown_ending_issue(U32View lower) {
  if (starts_with(lower, "verify text ")) {
    return "`verify text` instruction does not end in a known state. Expected ending: " +
           endings_of(StepReader::_VERIFY_TEXT_STATES, EXTRA_VERIFY_TEXT_STATES);
  }
  return "`verify` instruction does not end in a known state. Expected ending: " +
         endings_of(StepReader::_VERIFY_STATES, EXTRA_VERIFY_STATES) +
         "; or: verify title is <text> | verify title contains <text> | verify url contains <text>";
}

bool is_extra_action(std::string_view action) {
  return std::find(EXTRA_ACTIONS.begin(), EXTRA_ACTIONS.end(), action) != EXTRA_ACTIONS.end();
}

// 'double click X' and 'right click X' are the only forms whose first word needs a
// second one.
std::vector<std::string> two_word_issues(U32View lower, U32View first) {
  const U32View rest = slice(lower, first.size());
  const auto start = std::find_if_not(rest.begin(), rest.end(), text::is_space);
  const U32View second = first_word(rest.substr(static_cast<std::size_t>(start - rest.begin())));
  if (equals(second, "click")) return {};
  const std::string word = text::encode(first);
  return {"`" + word + "` instruction missing `click`. Expected: " + word + " click <target>"};
}

U32View strip_char(U32View s, char32_t c) {
  while (!s.empty() && s.front() == c) s.remove_prefix(1);
  while (!s.empty() && s.back() == c) s.remove_suffix(1);
  return s;
}

std::optional<std::string> wait_issue(U32View raw) {
  // The time as StepReader takes it: trimmed, then without double and single quotes.
  const U32 trimmed = text::trim(slice(raw, 5));
  const std::string ms = text::encode(strip_char(strip_char(trimmed, U'"'), U'\''));
  const auto value = wait_milliseconds(ms);
  if (!value || *value <= static_cast<std::uint64_t>(MAX_WAIT.count())) return std::nullopt;
  return "`wait` value is longer than the maximum of " + std::to_string(MAX_WAIT.count()) + " milliseconds (" +
         std::to_string(std::chrono::duration_cast<std::chrono::minutes>(MAX_WAIT).count()) +
         " minutes). Got: " + text::quoted(ms);
}

}  // namespace

ParsedInstruction InstructionReader::parse(std::string_view instruction) const {
  try {
    return step_reader_.parse(instruction);
  } catch (const std::invalid_argument&) {
    if (auto parsed = extra_form(step_reader_, read_line(step_reader_, instruction))) return *std::move(parsed);
    throw;
  }
}

std::vector<std::string> InstructionReader::validate(std::string_view instruction) const {
  std::vector<std::string> issues = step_reader_.validate(instruction);
  const U32 raw = text::trim(U32View(text::decode(instruction)));
  // An empty line and an unbalanced quote are told as StepReader tells them.
  if (raw.empty() || std::count(raw.begin(), raw.end(), U'"') % 2 != 0) return issues;
  const U32 lower = text::lower(raw);
  const U32View first = first_word(lower);
  if (is_one_of(first, {"double", "right"})) return two_word_issues(lower, first);
  if (is_one_of(first, {"double-click", "right-click", "check", "uncheck"})) return {};
  if (!issues.empty() && starts_with(lower, "verify ")) {
    // Given a balanced verify line, StepReader checks only its ending. A line of an added
    // form has a known ending; a line of an old form keeps StepReader's answer.
    std::optional<std::string> action;
    try {
      action = parse(instruction).action;
    } catch (const std::invalid_argument&) {
    }
    if (!action) return {unknown_ending_issue(lower)};
    if (is_extra_action(*action)) return {};
  }
  if (issues.empty() && starts_with(lower, "wait ")) {
    if (auto issue = wait_issue(raw)) issues.push_back(*std::move(issue));
  }
  return issues;
}

std::optional<std::uint64_t> wait_milliseconds(std::string_view text) {
  const U32 digits = text::decode(text);
  if (digits.empty()) return std::nullopt;
  constexpr std::uint64_t largest = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t value = 0;
  for (const char32_t c : digits) {
    const auto digit = text::digit_value(c);
    if (!digit) return std::nullopt;
    const auto d = static_cast<std::uint64_t>(*digit);
    value = value > (largest - d) / 10 ? largest : value * 10 + d;
  }
  return value;
}

}  // namespace quillfen::runner
