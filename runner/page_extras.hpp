// What a scan gathers beyond the element and text records, for the relaxed strategy:
// which texts name which controls, short texts assembled from inline pieces, and the
// table cells that give a text its column.
//
// The records of the scan stay exactly as they are; the extras are read in one more page
// request (a script embedded from js/page_extras.js) and kept apart from them. In a
// snapshot document they are a member of their own, "extras", after "url", "elements"
// and "text_elements"; a snapshot without it reads as empty extras.
#pragma once

#include "engine/browser/page.hpp"
#include "engine/browser/page_scanner.hpp"
#include "engine/core/records.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace quillfen::runner {

// A text that names a control.
struct LabelLink {
  enum class Kind {
    for_attribute,  // <label for="id">
    wrapping,       // <label>Text <input></label>
    labelledby,     // aria-labelledby on the control
    right,          // the short text right after a check box or radio button on its row
  };
  Kind kind = Kind::for_attribute;
  // The control as a record of its own: tag, its type and role attributes, box,
  // visibility, enabled state and path. Its path is that of its record in the scan,
  // when the scan has one.
  Element control;
  // The label as a record: its own text (without the control's), box, visibility and
  // path. A bare text node after a check box has the tag and path "".
  Element label;
};

struct PageExtras {
  std::vector<LabelLink> labels;
  // Visible short texts made of several inline pieces, as one record each.
  Elements texts;
  // Visible table cells (th, td) with their text cut short.
  Elements cells;

  bool empty() const { return labels.empty() && texts.empty() && cells.empty(); }
};

// The whole page at once, for every scan; the same record form as in snapshots.
struct PageRecords {
  Elements elements;
  Elements text_elements;
  PageExtras extras;
  // False when the extras were left out, to be read only when wanted (see
  // ScanCache::extras); `extras` is empty then.
  bool extras_read = true;
};

// The script, a function without parameters run through Page::evaluate.
extern const std::string PAGE_EXTRAS_JS;

// {"labels": [{"kind", "control", "label"}], "texts": [...], "cells": [...]}, every
// record in the form of element records.
Json to_json(const PageExtras& extras);
// Reads what to_json writes; a missing list is empty. Throws TypeError naming what is
// malformed.
PageExtras extras_from_json(const Json& j);

// One page request. A page error about the script itself (it threw, or the page broke
// its built-ins), or an answer of the wrong shape, gives empty extras: they only ever
// add to what the records say. A dialog, a time-out or a lost tab is thrown as it is.
PageExtras gather_page_extras(Page& page);

// A whole scan: the extras, then the scanner's records. When the scanner saves a
// snapshot, the extras are in it as their own member.
PageRecords scan_page(PageScanner& scanner);

// Saves the snapshot of records read before, extras included, as the scanner saves its
// own (when snapshots are on). Throws what PageScanner::_save_snapshot throws.
void save_snapshot(PageScanner& scanner, const PageRecords& records);

}  // namespace quillfen::runner
