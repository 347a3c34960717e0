// The spatial matrix: interactable and text records in one reading-order list, with
// their geometry, a normalised element type, their matchable text and their ordinal
// among entries of the same type.
//
// Interactable records become action targets; text records become anchor-only entries,
// which may be named as an anchor but are never the element a relational target picks.
// Entries point at the caller's records, so the matrix never copies a record.
#pragma once

#include "engine/core/records.hpp"

#include <string>

namespace quillfen {

namespace layout_mapper {

// "button", "link", "input", "select", a recognised role, or the tag itself. The role
// decides first (button, link, textbox, combobox); then submit/button/reset inputs are
// buttons; then the tag table. Nothing is case-folded.
std::string _element_type(const ElementRecord& element);

// The full position of a box: corner, size, centre (real halves kept) and far edges.
Position _position(const BoundingBox& bb);

// Text, _label, aria-label, placeholder and name, the non-empty ones joined by one
// blank, trimmed at both ends.
std::string _searchable(const ElementRecord& element);

}  // namespace layout_mapper

class LayoutMapper {
 public:
  explicit LayoutMapper(Elements dom_elements, Elements text_elements = {});

  // A new matrix on every call. Records without a box are left out; the order is the
  // exact (top, left) of each box, ties keeping interactable records before text
  // records and each list in its own order.
  Matrix build() const;

  const Elements& dom_elements() const { return dom_elements_; }
  const Elements& text_elements() const { return text_elements_; }

 private:
  Elements dom_elements_;
  Elements text_elements_;
};

}  // namespace quillfen
