// The level-1 resolution strategy: decides which element, or which piece of text, an
// instruction means by case-insensitive containment and equality of text only.
//
// The free functions below are the building blocks: the surfaces of an element (its
// text, some attributes, words of its class, id and data- attribute names), the contains
// and exact tests of a target against them, and the narrowing of the pool by action.
// LexicalTier::resolve dispatches an instruction to element matching, the text
// searches, the state checks or the directional text search.
//
// Every function reads the records it is given and never changes them, nor the caller's
// lists. Results point at the caller's own records; records must not be null.
// Lower-casing, trimming and lengths are the Unicode ones of engine/core/text.hpp.
#pragma once

#include "engine/core/records.hpp"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace quillfen {

namespace lexical_tier {

// Attributes whose values are surfaces, in surface order. "_label" (the field label)
// counts only when the caller asks for labels, that is for typing.
inline constexpr std::array<std::string_view, 6> _MATCH_ATTRIBUTES{
    "aria-label", "_label", "placeholder", "data-testid", "type", "alt"};

// Element-type words that a target may carry around the name ('login button').
inline constexpr std::array<std::string_view, 18> _TYPE_DESCRIPTORS{
    "input",    "field",    "button", "btn",  "box",     "link",
    "dropdown", "select",   "checkbox", "radio", "textarea", "textbox",
    "area",     "icon",     "control", "widget", "form",    "element"};

// Tags whose elements may be the answer of a directional text search.
inline constexpr std::array<std::string_view, 14> _TEXT_ONLY_TAGS{
    "span", "p", "label", "h1", "h2", "h3", "h4", "h5", "h6", "li", "td", "th", "div", "a"};

inline constexpr std::array<std::string_view, 2> _TYPEABLE_TAGS{"input", "textarea"};
inline constexpr std::array<std::string_view, 4> _TYPEABLE_ROLES{
    "textbox", "searchbox", "spinbutton", "combobox"};
inline constexpr std::array<std::string_view, 1> _SELECTABLE_TAGS{"select"};

// A directional answer found next to a text anchor must lie at most this many tree
// steps from it, so that a neighbouring widget's text is not taken for the answer.
inline constexpr int _DOM_DISTANCE_THRESHOLD = 10;

// The phrase that opens a directional target, and the direction it searches.
struct DirectionPhrase {
  std::string_view phrase;
  std::string_view direction;
};

// In table order; the search tries the phrases longest first (ties in this order).
inline constexpr std::array<DirectionPhrase, 6> _DIRECTIONS{{
    {"next to", "right"},
    {"right of", "right"},
    {"left of", "left"},
    {"below", "below"},
    {"under", "below"},
    {"above", "above"},
}};

// Drops element-type words from the end, then from the front, of a target, keeping the
// case of the rest and joining it with single blanks: 'Submit Button Link' gives
// 'Submit'. A target made only of type words (or blank) is returned unchanged.
std::string _strip_type_descriptors(std::string_view target);

// The surfaces of an element, in order: its text, the _MATCH_ATTRIBUTES values ("_label"
// only with include_label), the class words, the id words, and one surface per data-
// attribute name other than data-testid. Empty surfaces are left out.
std::vector<std::string> _searchable_strings(const ElementRecord& element,
                                             bool include_label = false);

// True when some lower-cased surface contains the target. The target is lower-cased and
// tried twice: with "_" and "-" turned into blanks (so 'shopping_cart' finds the class
// words 'shopping cart link') and as written (so 'Bolt T-Shirt' finds that very text).
bool _matches_element(std::string_view target, const ElementRecord& element,
                      bool include_label = false);

// As _matches_element, but a surface must equal the target after being trimmed; the
// target itself is not trimmed.
bool _exact_matches_element(std::string_view target, const ElementRecord& element,
                            bool include_label = false);

// The pool an action may act on: typeable fields for "type", select elements for
// "select". When the filter keeps nothing, or for any other action, the whole list.
Elements _filter_by_action(std::string_view action, const Elements& elements);

// Tree steps between two positional paths: the steps of both beyond their common
// leading steps. Leading and trailing "/" are ignored; an empty path has no steps.
int _dom_distance(std::string_view xpath_a, std::string_view xpath_b);

// Whether a text found agrees with the expected one, as the directional check judges
// it: both lower-cased, without currency signs and commas, and trimmed, either contains
// the other; an empty side agrees with nothing.
bool _amounts_agree(std::string_view expected, std::string_view actual);

}  // namespace lexical_tier

// Stateless: one instance may serve a whole run. The underscore operations are what
// resolve dispatches to; they are public so that a caller (or a test) can run one check
// alone.
class LexicalTier {
 public:
  // Verification, find and directional actions go to their operations below; every
  // other action is resolved by element matching over dom_elements: visible matches
  // first, then any match, then (for "extract_text" only) visible text elements; exact
  // matches before partial ones; the instruction's ordinal (default 1) counts in
  // reading order (top, then left), and an ordinal of 0 or less counts from the end of
  // the matches ordered by text length. An ordinal beyond the matches picks the last.
  // A negative ordinal that reaches before the first match is a programming error and
  // throws std::out_of_range. text_elements may be null (no text elements).
  ResolutionResult resolve(const ParsedInstruction& parsed_instruction,
                           const Elements& dom_elements,
                           const Elements* text_elements = nullptr) const;

  // The text elements containing the target (case ignored), shortest text first.
  ResolutionResult _resolve_find_text(std::string_view target,
                                      const Elements& text_elements) const;

  // The first text element whose trimmed text equals the target (case ignored); the
  // candidates are the exact matches followed by every containing element. With no
  // exact match, not resolved, and the candidates are the containing elements,
  // shortest first, as near misses.
  ResolutionResult _resolve_find_exact_text(std::string_view target,
                                            const Elements& text_elements) const;

  // "verify_present", "verify_visible", "verify_enabled" or "verify_disabled": the
  // matching element with the shortest text, hidden and disabled ones included, and
  // its state {present, visible, enabled}. Any other action throws
  // std::invalid_argument.
  ResolutionResult _resolve_verify(std::string_view action, std::string_view target,
                                   const Elements& dom_elements) const;

  // "verify_text_present" or "verify_text_visible": the text element containing the
  // target as written (case ignored) with the shortest text, and its state {present,
  // visible}. Any other action throws std::invalid_argument.
  ResolutionResult _resolve_verify_text(std::string_view action, std::string_view target,
                                        const Elements& text_elements) const;

  // target is a direction phrase, a blank and the anchor text ('next to Total'). Finds
  // the anchor by its exact text (the first line of a text element; else an
  // interactable element's text or aria-label), then the nearest text element in that
  // direction, and checks its text against `expected` with currency signs and commas
  // ignored, either containing the other. state holds `expected` and, once a
  // direction was read, `actual` (the text found, or why nothing was).
  ResolutionResult _resolve_verify_spatial_text(std::string_view target,
                                                std::string_view expected,
                                                const Elements& text_elements,
                                                const Elements* dom_elements = nullptr) const;

  // The same search; `extracted` is the nearest text in the direction, trimmed. When
  // the anchor is found but nothing lies in the direction, nothing was extracted: the
  // result is not resolved (with no element), so the caller can try other strategies
  // instead of taking the anchor's text for the answer.
  ResolutionResult _resolve_extract_spatial_text(std::string_view target,
                                                 const Elements& text_elements,
                                                 const Elements* dom_elements = nullptr) const;
};

}  // namespace quillfen
