// The relaxed strategy, level 3 of the resolution chain: what a person means by a line
// where matching by text and by place found no element at all.
//
// - A label (<label for>, a wrapping <label>, aria-labelledby) stands for its control:
//   clicks go to the label itself (the browser passes them on to its control), state
//   checks and typing to the control (a state check to the label when the control hides
//   behind it). For check boxes and radio buttons, the short text right after them on
//   their row is a label too, for checking and checked-state checks.
// - Visible text that is no control can be clicked and hovered at its own box, and makes
//   `verify "X" is visible|present` true. A short text split over inline pieces ("<strong>
//   1</strong><span> item left</span>") counts as one text.
// - "next to" takes the nearest qualifying element on either side of the anchor, on its
//   row first; "below" and "above" take the nearest element in the anchor's table column
//   when none lies in its own band; "left of" and "right of" a field take what is drawn
//   inside the field's own end when nothing lies beyond it; an anchor text found several
//   times is tried at each place in turn until one has a candidate.
// It stays strict where a person would not mean anything: a target is the whole of a
// text or a word-bounded part of a short one (never a phrase inside a paragraph), hidden
// text never matches, a relation needs an element close to the anchor, and a type word
// in the line ("checkbox", "button", "field") must fit the element.
#pragma once

#include "runner/chain.hpp"

#include <string_view>

namespace quillfen::runner {

namespace relaxed {

inline constexpr std::string_view LABEL = "Relaxed";
inline constexpr int LEVEL = 3;

// A target may be a word-bounded part only of a text at most this many characters long.
inline constexpr std::size_t LONGEST_PARTLY_MATCHED_TEXT = 80;
// Pixels, at most, between an anchor and an element "next to" it.
inline constexpr double NEXT_TO_MAX_GAP = 300;
// Anchors tried, at most, for one line.
inline constexpr std::size_t MOST_ANCHORS = 20;

}  // namespace relaxed

// Clicks (single, double, right), hover, type, select, check and uncheck; element state
// checks, text checks and text finds. Extraction and directional text are not served.
bool relaxed_serves(std::string_view action);

// A found element is resolved with candidates the other matches, best first (and the
// anchor's text for a relation); nothing found is not resolved, with near misses (texts
// that hold the target but are hidden, too long, or of another type) as candidates.
ResolutionResult resolve_relaxed(const ParsedInstruction& parsed, const PageView& page);

}  // namespace quillfen::runner
