// Relational resolution over the spatial matrix: targets that name an element by its
// place ("button next to login", "Add to cart near Blue Backpack") or by its rank in
// reading order ("first input", "second login").
//
// A target is broken into its parts by keyword tables, the anchor it is placed relative
// to is looked up in the matrix, and the other entries are filtered and ordered by the
// geometric rule of the relation. The chosen element is always an interactable record,
// never an anchor-only text entry and never the anchor itself.
#pragma once

#include "engine/core/records.hpp"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillfen {

namespace relation_solver {

// Pixels by which two extents may miss each other and still count as overlapping.
inline constexpr int SPATIAL_TOLERANCE = 40;
// Bounds of "near": centre-to-centre pixels and steps between the two xpaths.
inline constexpr int NEAR_MAX_PIXELS = 300;
inline constexpr int NEAR_MAX_DOM_STEPS = 10;

// Relation keyword as written in a target, and the relation it names.
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 7> _RELATIONS{{
    {"next to", "next_to"},
    {"below", "below"},
    {"under", "below"},
    {"above", "above"},
    {"left of", "left"},
    {"right of", "right"},
    {"near", "near"},
}};

inline constexpr std::array<std::pair<std::string_view, int>, 10> _ORDINALS{{
    {"first", 1}, {"second", 2}, {"third", 3}, {"fourth", 4}, {"fifth", 5},
    {"1st", 1},   {"2nd", 2},    {"3rd", 3},   {"4th", 4},    {"5th", 5},
}};

// Type word of a target, and the matrix element type it filters on.
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 9> _TYPE_KEYWORDS{{
    {"button", "button"},
    {"btn", "button"},
    {"link", "link"},
    {"anchor", "link"},
    {"input", "input"},
    {"field", "input"},
    {"textbox", "input"},
    {"select", "select"},
    {"dropdown", "select"},
}};

// The six parts of a target, in this order; each may be absent.
struct ParsedTarget {
  // Lower-case text of the element the target is placed relative to; "" when the
  // relation keyword ends the target.
  std::optional<std::string> anchor;
  std::optional<std::string> relation;
  std::optional<std::string> type_filter;
  std::optional<int> ordinal;
  // The describing words of an ordinal-only target ("second login" gives "login").
  std::optional<std::string> search_text;
  // The words before the relation keyword, less type and ordinal words.
  std::optional<std::string> target_text;

  bool operator==(const ParsedTarget&) const = default;
};

// Lower-cased, without blanks and hyphens: "Log In", "log-in" and "LOGIN" are equal.
std::string _normalize(std::string_view text);

ParsedTarget _parse_target(std::string_view target);

// Whether the vertical (horizontal) extents of two entries overlap, or miss each other
// by less than SPATIAL_TOLERANCE.
bool _overlaps_vertically(const MatrixEntry& a, const MatrixEntry& b);
bool _overlaps_horizontally(const MatrixEntry& a, const MatrixEntry& b);
double _centre_distance(const MatrixEntry& a, const MatrixEntry& b);
// Steps of either path not matched by an equal step at the same depth of the other;
// equal steps count wherever they stand, also after a differing one.
int _dom_distance(std::string_view xpath_a, std::string_view xpath_b);

}  // namespace relation_solver

class RelationSolver {
 public:
  // Entries handed between the steps are views of entries of the solver's matrix.
  using Entries = std::vector<const MatrixEntry*>;

  explicit RelationSolver(Matrix matrix);

  const Matrix& matrix() const { return matrix_; }

  // The element a relational or ordinal target names. Besides the target, the
  // instruction's ordinal counts when the target has no ordinal word of its own: the
  // line `click second "Add to cart" below "Blue Backpack"` loses its ordinal word to
  // the instruction's `ordinal`, and must still pick the second match.
  ResolutionResult resolve(const ParsedInstruction& parsed_instruction) const;

  // The entry that best carries the anchor text, or nullptr: exact text before exact
  // attribute, then text prefix before attribute prefix; interactable entries before
  // text entries; then the smallest box, the earliest on a tie.
  const MatrixEntry* _find_anchor(std::string_view anchor_text) const;

  // The candidates that satisfy the relation to the anchor, nearest first; with an
  // ordinal (1 and up) only that one of them.
  Entries _rank(const Entries& candidates, const MatrixEntry& anchor, const std::optional<std::string>& strategy,
                std::optional<int> ordinal) const;

  // Entry number `ordinal` in reading order among the interactable entries of the type,
  // narrowed by the search text.
  ResolutionResult _resolve_ordinal(int ordinal, const std::optional<std::string>& type_filter,
                                    const std::optional<std::string>& search_text = std::nullopt) const;

 private:
  // The entries a relational target may pick: not the anchor, not anchor-only, of the
  // type when one is given, and narrowed by the target text when any entry matches it.
  Entries _get_candidates(const MatrixEntry& anchor, const std::optional<std::string>& type_filter,
                          const std::optional<std::string>& target_text) const;

  Matrix matrix_;
};

}  // namespace quillfen
