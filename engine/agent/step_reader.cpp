#include "engine/agent/step_reader.hpp"

#include "engine/core/text.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>

namespace quillfen {

namespace {

using U32 = std::u32string;
using U32View = std::u32string_view;

// The tables are ASCII, so a code point equals a table byte exactly when both are the
// same ASCII character.
bool equals(U32View s, std::string_view ascii) {
  return s.size() == ascii.size() &&
         std::equal(s.begin(), s.end(), ascii.begin(),
                    [](char32_t c, char a) { return c == static_cast<unsigned char>(a); });
}

bool starts_with(U32View s, std::string_view ascii) {
  return s.size() >= ascii.size() && equals(s.substr(0, ascii.size()), ascii);
}

bool ends_with(U32View s, std::string_view ascii) {
  return s.size() >= ascii.size() && equals(s.substr(s.size() - ascii.size()), ascii);
}

U32 widen(std::string_view ascii) { return U32(ascii.begin(), ascii.end()); }

std::size_t find(U32View s, std::string_view ascii) { return s.find(widen(ascii)); }

std::size_t rfind(U32View s, std::string_view ascii) { return s.rfind(widen(ascii)); }

// s[from:to] with both ends clamped, so a cut never reaches outside the text.
U32View slice(U32View s, std::size_t from, std::size_t to = U32View::npos) {
  to = std::min(to, s.size());
  from = std::min(from, to);
  return s.substr(from, to - from);
}

U32View strip_char(U32View s, char32_t c) {
  while (!s.empty() && s.front() == c) s.remove_prefix(1);
  while (!s.empty() && s.back() == c) s.remove_suffix(1);
  return s;
}

// Trimmed, then stripped of double quotes, then of single quotes: the form in which URLs,
// keys and wait times are taken.
U32 strip_quotes(U32View s) {
  const U32 trimmed = text::trim(s);
  return U32(strip_char(strip_char(trimmed, U'"'), U'\''));
}

template <std::size_t N>
bool is_one_of(U32View word, const std::array<std::string_view, N>& table) {
  return std::any_of(table.begin(), table.end(), [&](std::string_view t) { return equals(word, t); });
}

std::pair<U32, std::vector<U32>> unquote(U32View s) {
  U32 unquoted;
  unquoted.reserve(s.size());
  std::vector<U32> literals;
  std::size_t copied = 0;
  std::size_t from = 0;
  while (true) {
    const std::size_t open = s.find(U'"', from);
    if (open == U32View::npos) break;
    const std::size_t close = s.find(U'"', open + 1);
    if (close == U32View::npos) break;
    if (close == open + 1) {
      // An empty pair matches nothing; its second quote may still open a name.
      from = close;
      continue;
    }
    unquoted.append(s.substr(copied, open - copied));
    literals.emplace_back(s.substr(open + 1, close - open - 1));
    unquoted.append(literals.back());
    copied = close + 1;
    from = close + 1;
  }
  unquoted.append(s.substr(copied));
  return {std::move(unquoted), std::move(literals)};
}

U32 clean_target(U32View target) {
  const auto words = text::split_ws(target);
  auto first = words.begin();
  while (first != words.end() && is_one_of(text::lower(*first), StepReader::_STOP_WORDS)) ++first;
  U32 out;
  out.reserve(target.size());
  for (auto it = first; it != words.end(); ++it) {
    if (it != first) out.push_back(U' ');
    out.append(*it);
  }
  return out;
}

std::pair<int, U32> extract_ordinal(U32View s) {
  std::size_t begin = 0;
  while (begin < s.size() && text::is_space(s[begin])) ++begin;
  std::size_t end = begin;
  while (end < s.size() && !text::is_space(s[end])) ++end;
  if (end > begin) {
    const U32 word = text::lower(s.substr(begin, end - begin));
    for (const auto& [name, ordinal] : _ORDINALS) {
      if (!equals(word, name)) continue;
      std::size_t rest = end;
      while (rest < s.size() && text::is_space(s[rest])) ++rest;
      return {ordinal, U32(s.substr(rest))};
    }
  }
  return {1, U32(s)};
}

// One line during parsing: the text with quotes removed, its lower-cased copy (the same
// length, so a position found in one cuts the other), and the quoted names.
struct Line {
  U32 unquoted;
  U32 lower;
  std::vector<U32> literals;

  U32View rest(std::size_t prefix_length) const { return slice(unquoted, prefix_length); }
  U32View rest_lower(std::size_t prefix_length) const { return slice(lower, prefix_length); }

  bool is_literal(U32View target) const {
    return std::find(literals.begin(), literals.end(), target) != literals.end();
  }

  // A target that is exactly one quoted name stays as written; anything else loses its
  // leading stop words.
  U32 resolve(U32View raw) const { return is_literal(raw) ? U32(raw) : clean_target(raw); }
};

ParsedInstruction record(std::string_view action, std::optional<U32> target, std::optional<U32> value,
                         std::optional<int> ordinal, bool literal_target) {
  ParsedInstruction p;
  p.action = std::string(action);
  if (target) p.target = text::encode(*target);
  if (value) p.value = text::encode(*value);
  p.ordinal = ordinal;
  p.literal_target = literal_target;
  return p;
}

// A record whose target is never tested against the quoted names.
ParsedInstruction bare(std::string_view action, std::optional<U32> target, std::optional<U32> value = std::nullopt) {
  return record(action, std::move(target), std::move(value), std::nullopt, false);
}

ParsedInstruction with_literal_test(const Line& line, std::string_view action, U32 target,
                                    std::optional<int> ordinal = std::nullopt) {
  const bool literal = line.is_literal(target);
  return record(action, std::move(target), std::nullopt, ordinal, literal);
}

// 'type TEXT into TARGET' and 'select OPTION from TARGET'. The value is the text between
// the prefix and the first keyword after it, blanks included.
//
// The keyword may occur only inside the prefix itself ('type into Name', 'select from
// Colour'): then there is no value to take, and the form does not match. No later form
// begins with "type " or "select ", so such a line is rejected like any other unreadable
// one, rather than typing an empty text somewhere the author did not mean.
std::optional<ParsedInstruction> split_form(const Line& line, std::string_view action, std::string_view prefix,
                                            std::string_view keyword) {
  if (!starts_with(line.lower, prefix) || find(line.lower, keyword) == U32::npos) return std::nullopt;
  const std::size_t at = find(line.rest_lower(prefix.size()), keyword);
  if (at == U32::npos) return std::nullopt;
  const U32View rest = line.rest(prefix.size());
  const U32View raw_target = slice(rest, at + keyword.size());
  const U32 trimmed = text::trim(raw_target);
  U32 target = line.is_literal(trimmed) ? trimmed : clean_target(raw_target);
  const bool literal = line.is_literal(target);
  return record(action, std::move(target), U32(rest.substr(0, at)), std::nullopt, literal);
}

std::optional<ParsedInstruction> extract_form(const Line& line) {
  if (!starts_with(line.lower, "extract text ") && !starts_with(line.lower, "extract_text ")) return std::nullopt;
  constexpr std::size_t prefix = std::string_view("extract text ").size();  // both spellings
  U32View raw_target = line.rest(prefix);
  const U32View raw_lower = line.rest_lower(prefix);
  for (const auto keyword : _SPATIAL_KW) {
    if (starts_with(raw_lower, keyword)) {
      return bare("extract_text_spatial", U32(raw_target));
    }
  }
  if (starts_with(raw_lower, "from ")) raw_target.remove_prefix(5);
  const auto [ordinal, after] = extract_ordinal(raw_target);
  return with_literal_test(line, "extract_text", line.resolve(after), ordinal);
}

std::optional<ParsedInstruction> spatial_text_form(const Line& line) {
  constexpr std::size_t prefix = std::string_view("verify text ").size();
  const U32View rest_lower = line.rest_lower(prefix);
  const bool directional = std::any_of(_SPATIAL_KW.begin(), _SPATIAL_KW.end(),
                                       [&](std::string_view k) { return starts_with(rest_lower, k); });
  if (!directional) return std::nullopt;
  const std::size_t is_pos = rfind(line.lower, " is ");
  if (is_pos == U32::npos) return std::nullopt;
  U32 target = text::trim(slice(line.unquoted, prefix, is_pos));
  U32 expected = text::trim(slice(line.unquoted, is_pos + 4));
  if (target.empty() || expected.empty()) return std::nullopt;
  return bare("verify_spatial_text", std::move(target), std::move(expected));
}

template <std::size_t N>
std::optional<ParsedInstruction> state_form(
    const Line& line, std::string_view prefix,
    const std::array<std::pair<std::string_view, std::string_view>, N>& states, bool clean) {
  for (const auto& [ending, action] : states) {
    if (!ends_with(line.lower, ending)) continue;
    const U32 raw = text::trim(slice(line.unquoted, prefix.size(), line.unquoted.size() - ending.size()));
    return with_literal_test(line, action, clean ? line.resolve(raw) : raw);
  }
  return std::nullopt;
}

// The remainder of the line after `prefix`, when the lower-cased line begins with it.
std::optional<U32View> after(const Line& line, std::string_view prefix) {
  if (!starts_with(line.lower, prefix)) return std::nullopt;
  return line.rest(prefix.size());
}

std::optional<ParsedInstruction> parse_line(const Line& line) {
  if (auto p = split_form(line, "type", "type ", " into ")) return p;
  if (auto p = split_form(line, "select", "select ", " from ")) return p;
  if (const auto r = after(line, "find exact text ")) return with_literal_test(line, "find_exact_text", U32(*r));
  if (const auto r = after(line, "find text ")) return with_literal_test(line, "find_text", line.resolve(*r));
  if (auto p = extract_form(line)) return p;
  if (const auto r = after(line, "click ")) {
    const auto [ordinal, rest] = extract_ordinal(*r);
    return with_literal_test(line, "click", line.resolve(rest), ordinal);
  }
  if (const auto r = after(line, "hover ")) return with_literal_test(line, "hover", line.resolve(*r));
  if (const auto r = after(line, "navigate ")) return bare("navigate", strip_quotes(*r));
  if (const auto r = after(line, "press ")) return bare("press_key", text::trim(*r));
  if (equals(line.lower, "accept dialog")) return bare("accept_dialog", std::nullopt);
  if (equals(line.lower, "dismiss dialog")) return bare("dismiss_dialog", std::nullopt);
  if (const auto r = after(line, "verify dialog says ")) return bare("verify_dialog", std::nullopt, U32(*r));
  if (const auto r = after(line, "sendkeys ")) {
    const U32 keys = strip_quotes(*r);
    return bare("sendkeys", keys, keys);
  }
  if (const auto r = after(line, "wait ")) return bare("wait", strip_quotes(*r));
  if (starts_with(line.lower, "verify text ")) {
    if (auto p = spatial_text_form(line)) return p;
    if (auto p = state_form(line, "verify text ", StepReader::_VERIFY_TEXT_STATES, false)) return p;
  }
  if (starts_with(line.lower, "verify ")) return state_form(line, "verify ", StepReader::_VERIFY_STATES, true);
  return std::nullopt;
}

std::string rejection(std::string_view instruction) {
  std::string message = "Unrecognised instruction: " + text::quoted(instruction) + ". Supported actions: [";
  for (std::size_t i = 0; i < StepReader::SUPPORTED_ACTIONS.size(); ++i) {
    if (i > 0) message += ", ";
    message += "'";
    message += StepReader::SUPPORTED_ACTIONS[i];
    message += "'";
  }
  return message + "]";
}

std::string endings_of(const auto& states) {
  std::string out;
  for (const auto& [ending, action] : states) {
    if (!out.empty()) out += " | ";
    out += ending;
  }
  return out;
}

bool all_digits(U32View s) { return !s.empty() && std::all_of(s.begin(), s.end(), text::is_digit); }

}  // namespace

std::pair<int, std::string> _extract_ordinal(std::string_view text) {
  const auto [ordinal, rest] = extract_ordinal(text::decode(text));
  return {ordinal, text::encode(rest)};
}

ParsedInstruction StepReader::parse(std::string_view instruction) const {
  auto [unquoted, literals] = unquote(text::trim(U32View(text::decode(instruction))));
  Line line{std::move(unquoted), {}, std::move(literals)};
  line.lower = text::lower(line.unquoted);
  if (auto parsed = parse_line(line)) return *std::move(parsed);
  throw std::invalid_argument(rejection(instruction));
}

std::pair<std::string, std::vector<std::string>> StepReader::_unquote(std::string_view instruction) const {
  const auto [unquoted, literals] = unquote(text::decode(instruction));
  std::vector<std::string> names;
  names.reserve(literals.size());
  for (const auto& literal : literals) names.push_back(text::encode(literal));
  return {text::encode(unquoted), std::move(names)};
}

std::string StepReader::_clean_target(std::string_view target) const {
  return text::encode(clean_target(text::decode(target)));
}

std::vector<std::string> StepReader::validate(std::string_view instruction) const {
  const U32 raw = text::trim(U32View(text::decode(instruction)));
  if (raw.empty()) return {"Instruction is empty."};
  if (std::count(raw.begin(), raw.end(), U'"') % 2 != 0) {
    return {"Unbalanced quote \u2014 missing closing `\"` in: " + text::quoted(text::encode(raw))};
  }
  const U32 lower = text::lower(raw);
  const U32View first_word(lower.data(), static_cast<std::size_t>(
                                             std::find_if(lower.begin(), lower.end(), text::is_space) - lower.begin()));
  if (!is_one_of(first_word, _KNOWN_ACTIONS)) {
    return {"Unknown action " + text::quoted(text::encode(first_word)) +
            ". Expected one of: click, type, verify, hover, select, press, wait, find, extract, sendkeys."};
  }

  std::vector<std::string> issues;
  if (starts_with(lower, "type ")) {
    if (find(lower, " into ") == U32::npos) {
      issues.emplace_back("`type` instruction missing `into` keyword. Expected: type <text> into <target>");
    } else {
      // When the only " into " begins inside the prefix ('type into Name') there is no
      // text before the keyword at all: the same issue as an empty text, which is what
      // the author left out.
      const std::size_t at = find(slice(lower, 5), " into ");
      if (at == U32::npos || text::trim(slice(raw, 5, 5 + at)).empty()) {
        issues.emplace_back("`type` instruction missing text to type. Expected: type <text> into <target>");
      }
    }
  }
  if (starts_with(lower, "select ") && find(lower, " from ") == U32::npos) {
    issues.emplace_back("`select` instruction missing `from` keyword. Expected: select <value> from <target>");
  }
  const auto ends_with_any = [&](const auto& states) {
    return std::any_of(states.begin(), states.end(), [&](const auto& state) { return ends_with(lower, state.first); });
  };
  if (starts_with(lower, "verify ") && !starts_with(lower, "verify text ") && !starts_with(lower, "verify dialog") &&
      !ends_with_any(_VERIFY_STATES)) {
    issues.push_back("`verify` instruction missing state. Expected ending: " + endings_of(_VERIFY_STATES));
  }
  constexpr std::array<std::string_view, 5> directional{"verify text next to", "verify text below",
                                                        "verify text above", "verify text left", "verify text right"};
  if (starts_with(lower, "verify text ") &&
      std::none_of(directional.begin(), directional.end(), [&](std::string_view d) { return starts_with(lower, d); }) &&
      !ends_with_any(_VERIFY_TEXT_STATES)) {
    issues.push_back("`verify text` instruction missing state. Expected ending: " + endings_of(_VERIFY_TEXT_STATES));
  }
  if (starts_with(lower, "wait ")) {
    const U32 ms = strip_quotes(slice(raw, 5));
    if (!all_digits(ms)) {
      issues.push_back("`wait` value must be a number in milliseconds. Got: " + text::quoted(text::encode(ms)));
    }
  }
  return issues;
}

std::map<int, std::vector<std::string>> StepReader::validate_all(const std::vector<std::string>& instructions) const {
  std::map<int, std::vector<std::string>> failures;
  int number = 0;
  for (const auto& instruction : instructions) {
    ++number;
    auto issues = validate(instruction);
    if (!issues.empty()) failures.emplace(number, std::move(issues));
  }
  return failures;
}

}  // namespace quillfen
