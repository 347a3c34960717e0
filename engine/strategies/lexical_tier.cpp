#include "engine/strategies/lexical_tier.hpp"

#include "engine/core/text.hpp"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <utility>

namespace quillfen {

namespace lexical_tier {

namespace {

template <typename Table>
bool in_table(const Table& table, std::string_view value) {
  return std::find(table.begin(), table.end(), value) != table.end();
}

bool is_type_descriptor(std::string_view word) {
  return in_table(_TYPE_DESCRIPTORS, text::lower(word));
}

// "_" and "-" are single bytes that never occur inside a longer UTF-8 sequence, so a
// byte-wise replacement is the character-wise one.
std::string blank_separators(std::string_view s) {
  std::string out(s);
  std::replace_if(out.begin(), out.end(), [](char c) { return c == '_' || c == '-'; }, ' ');
  return out;
}

bool is_ascii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// text::split_ws, cutting ASCII text (nearly every class and id) in place instead of
// decoding it: this runs for every element of every resolution.
std::vector<std::string> words_of(std::string_view s) {
  if (!is_ascii(s)) return text::split_ws(s);
  const auto space = [&](std::size_t i) { return text::is_space(static_cast<unsigned char>(s[i])); };
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && space(i)) ++i;
    const std::size_t start = i;
    while (i < s.size() && !space(i)) ++i;
    if (i > start) words.emplace_back(s.substr(start, i - start));
  }
  return words;
}

// Class tokens are tested before their separators become blanks, so 'btn-primary'
// survives as 'btn primary' while 'css-1x2y3z' is dropped whole.
std::optional<std::string> class_words(std::string_view class_attribute) {
  std::vector<std::string> kept;
  for (const auto& token : words_of(class_attribute)) {
    if (text::length(token) >= 4 && !text::contains_digit(token)) {
      kept.push_back(blank_separators(token));
    }
  }
  if (kept.empty()) return std::nullopt;
  return text::join(kept, " ");
}

// Words of an id or a data- attribute name: separators become blanks first, then each
// word is tested on its own.
std::optional<std::string> name_words(std::string_view name, std::size_t min_length) {
  std::vector<std::string> kept;
  for (auto& word : words_of(blank_separators(name))) {
    if (text::length(word) >= min_length && !text::contains_digit(word)) {
      kept.push_back(std::move(word));
    }
  }
  if (kept.empty()) return std::nullopt;
  return text::join(kept, " ");
}

// Calls f on each surface of the element in order until f returns true; returns whether
// it did. Matching stops at the first hit, so surfaces after it are never built.
template <typename F>
bool any_surface(const ElementRecord& element, bool include_label, F&& f) {
  if (!element.text.empty() && f(std::string_view(element.text))) return true;
  for (const std::string_view name : _MATCH_ATTRIBUTES) {
    if (name == "_label" && !include_label) continue;
    const std::string& value = element.attributes.get(name);
    if (!value.empty() && f(std::string_view(value))) return true;
  }
  if (const auto words = class_words(element.attributes.get("class"))) {
    if (f(std::string_view(*words))) return true;
  }
  if (const auto words = name_words(element.attributes.get("id"), 4)) {
    if (f(std::string_view(*words))) return true;
  }
  for (const auto& [name, value] : element.attributes) {
    if (!name.starts_with("data-") || name == "data-testid") continue;
    if (const auto words = name_words(std::string_view(name).substr(5), 2)) {
      if (f(std::string_view(*words))) return true;
    }
  }
  return false;
}

// The lower-cased target in the two forms a surface is tested against: with "_" and
// "-" as blanks (to meet class and id words) and as written (to meet a text such as
// 'T-Shirt' that keeps its hyphen).
struct Needles {
  std::string blanked;
  std::string as_written;
  bool differ = false;
};

Needles needles_for(std::string_view target) {
  std::string as_written = text::lower(target);
  std::string blanked = blank_separators(as_written);
  const bool differ = blanked != as_written;
  return {std::move(blanked), std::move(as_written), differ};
}

bool contains_needle(const ElementRecord& element, const Needles& needles, bool include_label) {
  return any_surface(element, include_label, [&](std::string_view surface) {
    const std::string lowered = text::lower(surface);
    return lowered.find(needles.blanked) != std::string::npos ||
           (needles.differ && lowered.find(needles.as_written) != std::string::npos);
  });
}

bool equals_needle(const ElementRecord& element, const Needles& needles, bool include_label) {
  return any_surface(element, include_label, [&](std::string_view surface) {
    const std::string trimmed = text::trim(text::lower(surface));
    return trimmed == needles.blanked || (needles.differ && trimmed == needles.as_written);
  });
}

}  // namespace

std::string _strip_type_descriptors(std::string_view target) {
  const std::vector<std::string> words = text::split_ws(target);
  auto first = words.begin();
  auto last = words.end();
  while (first != last && is_type_descriptor(*(last - 1))) --last;
  while (first != last && is_type_descriptor(*first)) ++first;
  if (first == last) return std::string(target);
  return text::join(std::vector<std::string>(first, last), " ");
}

std::vector<std::string> _searchable_strings(const ElementRecord& element, bool include_label) {
  std::vector<std::string> surfaces;
  any_surface(element, include_label, [&](std::string_view surface) {
    surfaces.emplace_back(surface);
    return false;
  });
  return surfaces;
}

bool _matches_element(std::string_view target, const ElementRecord& element, bool include_label) {
  return contains_needle(element, needles_for(target), include_label);
}

bool _exact_matches_element(std::string_view target, const ElementRecord& element,
                            bool include_label) {
  return equals_needle(element, needles_for(target), include_label);
}

Elements _filter_by_action(std::string_view action, const Elements& elements) {
  Elements kept;
  if (action == "type") {
    for (const auto& e : elements) {
      if (in_table(_TYPEABLE_TAGS, e->tag) || in_table(_TYPEABLE_ROLES, e->attributes.get("role")) ||
          e->is_editable_field.value_or(false)) {
        kept.push_back(e);
      }
    }
  } else if (action == "select") {
    for (const auto& e : elements) {
      if (in_table(_SELECTABLE_TAGS, e->tag)) kept.push_back(e);
    }
  }
  return kept.empty() ? elements : kept;
}

}  // namespace lexical_tier

namespace {

using namespace lexical_tier;

template <typename Keep>
Elements keep_if(const Elements& elements, Keep&& keep) {
  Elements kept;
  for (const auto& e : elements) {
    if (keep(*e)) kept.push_back(e);
  }
  return kept;
}

// Stable, so equal lengths keep document order. Lengths are counted once per element.
void sort_by_text_length(Elements& elements) {
  std::vector<std::pair<std::size_t, Element>> keyed;
  keyed.reserve(elements.size());
  for (auto& e : elements) keyed.emplace_back(text::length(e->text), std::move(e));
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t i = 0; i < keyed.size(); ++i) elements[i] = std::move(keyed[i].second);
}

// Top to bottom, then left to right; a missing box sits at (0, 0).
void sort_by_reading_order(Elements& elements) {
  const auto key = [](const Element& e) {
    return e->bounding_box ? std::pair(e->bounding_box->y, e->bounding_box->x) : std::pair(0.0, 0.0);
  };
  std::stable_sort(elements.begin(), elements.end(),
                   [&](const Element& a, const Element& b) { return key(a) < key(b); });
}

// The pool entry an ordinal picks: the n-th in order, the last when there are fewer,
// and for 0 or less an index counted back from the end (0 is the last).
const Element& pick(const Elements& pool, int ordinal) {
  const auto size = static_cast<long long>(pool.size());
  long long index = std::min(static_cast<long long>(ordinal) - 1, size - 1);
  if (index < 0) index += size;
  if (index < 0) {
    throw std::out_of_range("ordinal " + std::to_string(ordinal) + " reaches before the first of " +
                            std::to_string(size) + " matches");
  }
  return pool[static_cast<std::size_t>(index)];
}

ResolutionResult match_elements(const ParsedInstruction& instruction, const Elements& dom_elements,
                                const Elements& text_elements) {
  const std::string& action = instruction.action;
  const Elements candidates = _filter_by_action(action, dom_elements);
  const Needles needles = needles_for(_strip_type_descriptors(instruction.target.value_or("")));
  const bool use_label = action == "type";
  const int ordinal = instruction.ordinal.value_or(1);

  // A visible partial match beats an invisible exact one: hidden elements are looked at
  // only when no visible element matches at all.
  Elements matched = keep_if(candidates, [&](const ElementRecord& e) {
    return e.is_visible && contains_needle(e, needles, use_label);
  });
  if (matched.empty()) {
    // Every candidate, visible or not; the visible ones are already known not to match.
    matched = keep_if(candidates, [&](const ElementRecord& e) {
      return !e.is_visible && contains_needle(e, needles, use_label);
    });
  }
  if (matched.empty() && action == "extract_text") {
    matched = keep_if(text_elements, [&](const ElementRecord& e) {
      return e.is_visible && contains_needle(e, needles, false);
    });
  }
  if (matched.empty()) return ResolutionResult::not_resolved();

  Elements exact = keep_if(matched, [&](const ElementRecord& e) {
    return equals_needle(e, needles, use_label);
  });
  Elements pool = exact.empty() ? std::move(matched) : std::move(exact);
  if (ordinal > 0) {
    sort_by_reading_order(pool);
  } else {
    sort_by_text_length(pool);
  }
  Element chosen = pick(pool, ordinal);
  return ResolutionResult::found(std::move(chosen), std::move(pool));
}

ResolutionResult verification(Element element, Elements candidates, Json state, bool verified) {
  ResolutionResult result = ResolutionResult::found(std::move(element), std::move(candidates));
  result.verified = verified;
  result.state = std::move(state);
  return result;
}

ResolutionResult not_found_verification() {
  ResolutionResult result = ResolutionResult::not_resolved();
  result.verified = false;
  result.state = Json::object();
  return result;
}

}  // namespace

ResolutionResult LexicalTier::resolve(const ParsedInstruction& parsed_instruction,
                                      const Elements& dom_elements,
                                      const Elements* text_elements) const {
  static const Elements no_text_elements;
  const Elements& texts = text_elements != nullptr ? *text_elements : no_text_elements;
  const std::string& action = parsed_instruction.action;
  const std::string target = parsed_instruction.target.value_or("");

  if (action == "verify_spatial_text") {
    return _resolve_verify_spatial_text(target, parsed_instruction.value.value_or(""), texts,
                                        &dom_elements);
  }
  if (action == "extract_text_spatial") {
    return _resolve_extract_spatial_text(target, texts, &dom_elements);
  }
  if (action == "find_text") return _resolve_find_text(target, texts);
  if (action == "find_exact_text") return _resolve_find_exact_text(target, texts);
  if (action == "verify_present" || action == "verify_visible" || action == "verify_enabled" ||
      action == "verify_disabled") {
    return _resolve_verify(action, target, dom_elements);
  }
  if (action == "verify_text_present" || action == "verify_text_visible") {
    return _resolve_verify_text(action, target, texts);
  }
  return match_elements(parsed_instruction, dom_elements, texts);
}

ResolutionResult LexicalTier::_resolve_find_text(std::string_view target,
                                                 const Elements& text_elements) const {
  const std::string needle = text::lower(target);
  Elements matched = keep_if(text_elements, [&](const ElementRecord& e) {
    return text::lower(e.text).find(needle) != std::string::npos;
  });
  if (matched.empty()) return ResolutionResult::not_resolved();
  sort_by_text_length(matched);
  Element first = matched.front();
  return ResolutionResult::found(std::move(first), std::move(matched));
}

ResolutionResult LexicalTier::_resolve_find_exact_text(std::string_view target,
                                                       const Elements& text_elements) const {
  const std::string needle = text::lower(target);
  Elements exact;
  Elements containing;
  for (const auto& e : text_elements) {
    const std::string lowered = text::lower(e->text);
    if (text::trim(lowered) == needle) exact.push_back(e);
    if (lowered.find(needle) != std::string::npos) containing.push_back(e);
  }
  if (exact.empty()) {
    sort_by_text_length(containing);
    ResolutionResult near_misses = ResolutionResult::not_resolved();
    near_misses.candidates = std::move(containing);
    return near_misses;
  }
  Element first = exact.front();
  exact.insert(exact.end(), containing.begin(), containing.end());
  return ResolutionResult::found(std::move(first), std::move(exact));
}

ResolutionResult LexicalTier::_resolve_verify(std::string_view action, std::string_view target,
                                              const Elements& dom_elements) const {
  const bool wants_visible = action == "verify_visible";
  const bool wants_enabled = action == "verify_enabled";
  const bool wants_disabled = action == "verify_disabled";
  if (action != "verify_present" && !wants_visible && !wants_enabled && !wants_disabled) {
    throw std::invalid_argument("not an element-state verification: " + text::quoted(action));
  }
  // Hidden and disabled elements are candidates too: their state is what is checked.
  const Needles needles = needles_for(_strip_type_descriptors(target));
  Elements matched = keep_if(dom_elements, [&](const ElementRecord& e) {
    return contains_needle(e, needles, false);
  });
  if (matched.empty()) return not_found_verification();
  sort_by_text_length(matched);

  Element chosen = matched.front();
  Json state = Json::object();
  state["present"] = true;
  state["visible"] = chosen->is_visible;
  state["enabled"] = chosen->is_enabled;
  const bool verified = wants_visible    ? chosen->is_visible
                        : wants_enabled  ? chosen->is_enabled
                        : wants_disabled ? !chosen->is_enabled
                                         : true;
  return verification(std::move(chosen), std::move(matched), std::move(state), verified);
}

ResolutionResult LexicalTier::_resolve_verify_text(std::string_view action, std::string_view target,
                                                   const Elements& text_elements) const {
  const bool wants_visible = action == "verify_text_visible";
  if (action != "verify_text_present" && !wants_visible) {
    throw std::invalid_argument("not a text-state verification: " + text::quoted(action));
  }
  const std::string needle = text::lower(target);
  Elements matched = keep_if(text_elements, [&](const ElementRecord& e) {
    return text::lower(e.text).find(needle) != std::string::npos;
  });
  if (matched.empty()) return not_found_verification();
  sort_by_text_length(matched);

  Element chosen = matched.front();
  Json state = Json::object();
  state["present"] = true;
  state["visible"] = chosen->is_visible;
  const bool verified = wants_visible ? chosen->is_visible : true;
  return verification(std::move(chosen), std::move(matched), std::move(state), verified);
}

}  // namespace quillfen
