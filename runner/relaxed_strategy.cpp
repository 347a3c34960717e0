#include "runner/relaxed_strategy.hpp"

#include "engine/core/text.hpp"
#include "engine/spatial/relation_solver.hpp"
#include "engine/strategies/lexical_tier.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace quillfen::runner {

namespace {

// What a line asks of the element it names, which decides what may stand for it.
enum class Mode {
  point,      // an act at a place: a label stands for its control, plain text for itself
  state,      // a state check: a label stands for its control, plain text for itself
  checkable,  // checking, and the checked state: any label of a check box or radio button
  field,      // typing or choosing: a label of a field or a list
  text,       // a text check or find: texts only
};

constexpr std::array<std::pair<std::string_view, Mode>, 22> kModes{{
    {"click", Mode::point},
    {"hover", Mode::point},
    {"double_click", Mode::point},
    {"right_click", Mode::point},
    {"check", Mode::checkable},
    {"uncheck", Mode::checkable},
    {"verify_checked", Mode::checkable},
    {"verify_unchecked", Mode::checkable},
    {"verify_present", Mode::state},
    {"verify_visible", Mode::state},
    {"verify_enabled", Mode::state},
    {"verify_disabled", Mode::state},
    {"verify_not_visible", Mode::state},
    {"verify_not_present", Mode::state},
    {"type", Mode::field},
    {"select", Mode::field},
    {"verify_text_present", Mode::text},
    {"verify_text_visible", Mode::text},
    {"verify_text_not_visible", Mode::text},
    {"verify_text_not_present", Mode::text},
    {"find_text", Mode::text},
    {"find_exact_text", Mode::text},
}};

std::optional<Mode> mode_of(std::string_view action) {
  for (const auto& [name, mode] : kModes) {
    if (name == action) return mode;
  }
  return std::nullopt;
}

// ---- Texts -------------------------------------------------------------------------

// Lower-cased, each run of white space one blank, trimmed.
std::string squeezed(std::string_view s) { return text::join(text::split_ws(text::lower(s)), " "); }

// A text as a name: squeezed, without the colon or asterisk a label ends with.
std::string phrase_of(std::string_view s) {
  std::string phrase = squeezed(s);
  while (!phrase.empty() && (phrase.back() == ':' || phrase.back() == '*' || phrase.back() == ' ')) {
    phrase.pop_back();
  }
  return phrase;
}

// A byte that belongs to a word: an ASCII letter or digit, or any byte of a non-ASCII
// character (letters of other scripts never end a word).
bool word_byte(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 0x80 || (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

enum class Fit { none, partial, exact };

// How a name fits a target (both phrases): the whole of it, or a part that starts and
// ends at word bounds of a short name.
Fit fit(std::string_view name, std::string_view target) {
  if (target.empty() || name.empty()) return Fit::none;
  if (name == target) return Fit::exact;
  if (text::length(name) > relaxed::LONGEST_PARTLY_MATCHED_TEXT) return Fit::none;
  for (auto at = name.find(target); at != std::string_view::npos; at = name.find(target, at + 1)) {
    const std::size_t end = at + target.size();
    const bool starts = at == 0 || !word_byte(name[at - 1]) || !word_byte(target.front());
    const bool ends = end == name.size() || !word_byte(name[end]) || !word_byte(target.back());
    if (starts && ends) return Fit::partial;
  }
  return Fit::none;
}

// The fit of a record's text; a text of several lines also fits by its first line.
Fit text_fit(const ElementRecord& record, std::string_view target) {
  const Fit whole = fit(phrase_of(record.text), target);
  if (whole == Fit::exact) return whole;
  const auto line_end = record.text.find('\n');
  if (line_end != std::string::npos && phrase_of(std::string_view(record.text).substr(0, line_end)) == target) {
    return Fit::exact;
  }
  return whole;
}

// ---- Kinds of element --------------------------------------------------------------

enum class Kind { any, checkbox, radio, toggle, button, link, field, list };

Kind kind_of(const ElementRecord& e) {
  const std::string role = text::lower(e.attributes.get("role"));
  const std::string type = text::lower(e.attributes.get("type"));
  if (role == "checkbox" || role == "menuitemcheckbox") return Kind::checkbox;
  if (role == "radio" || role == "menuitemradio") return Kind::radio;
  if (role == "switch") return Kind::toggle;
  if (role == "button") return Kind::button;
  if (role == "link") return Kind::link;
  if (role == "textbox" || role == "searchbox" || role == "spinbutton") return Kind::field;
  if (role == "combobox" || role == "listbox") return Kind::list;
  if (e.tag == "input") {
    if (type == "checkbox") return Kind::checkbox;
    if (type == "radio") return Kind::radio;
    if (type == "submit" || type == "button" || type == "reset" || type == "image") return Kind::button;
    if (type == "hidden" || type == "file" || type == "range" || type == "color") return Kind::any;
    return Kind::field;
  }
  if (e.tag == "textarea" || e.is_editable_field.value_or(false)) return Kind::field;
  if (e.tag == "select") return Kind::list;
  if (e.tag == "button") return Kind::button;
  if (e.tag == "a") return Kind::link;
  return Kind::any;
}

bool is_checkable(Kind kind) { return kind == Kind::checkbox || kind == Kind::radio || kind == Kind::toggle; }

// Whether a record is of the kind a line's type word asks for; a check box and a switch
// stand for each other.
bool fits_kind(const ElementRecord& e, Kind wanted) {
  if (wanted == Kind::any) return true;
  const Kind kind = kind_of(e);
  if (wanted == Kind::checkbox || wanted == Kind::toggle) return kind == Kind::checkbox || kind == Kind::toggle;
  return kind == wanted;
}

// Type words of a line, two-word ones first.
constexpr std::array<std::pair<std::string_view, Kind>, 16> kTypeWords{{
    {"check box", Kind::checkbox},
    {"radio button", Kind::radio},
    {"text box", Kind::field},
    {"text field", Kind::field},
    {"input field", Kind::field},
    {"checkbox", Kind::checkbox},
    {"radio", Kind::radio},
    {"switch", Kind::toggle},
    {"button", Kind::button},
    {"btn", Kind::button},
    {"link", Kind::link},
    {"field", Kind::field},
    {"input", Kind::field},
    {"textbox", Kind::field},
    {"dropdown", Kind::list},
    {"select", Kind::list},
}};

// ---- What a line names -------------------------------------------------------------

struct Description {
  Kind kind = Kind::any;
  std::string text;  // a phrase; empty when the line names a kind only
  int ordinal = 1;
};

Description describe(std::string_view words_text, std::optional<int> instruction_ordinal) {
  std::vector<std::string> words = text::split_ws(text::lower(words_text));
  Description d;
  d.ordinal = instruction_ordinal.value_or(1);
  for (const auto& [word, number] : relation_solver::_ORDINALS) {
    const auto it = std::find(words.begin(), words.end(), word);
    if (it != words.end()) {
      d.ordinal = number;
      words.erase(it);
      break;
    }
  }
  if (!words.empty() && (words.front() == "the" || words.front() == "a" || words.front() == "an")) {
    words.erase(words.begin());
  }
  // Type words at either end, as many as there are ("the Subscribe switch button").
  const auto take_type = [&](bool at_end) {
    for (const auto& [phrase, kind] : kTypeWords) {
      const std::vector<std::string> parts = text::split_ws(phrase);
      if (parts.size() > words.size()) continue;
      const auto begin = at_end ? words.end() - static_cast<std::ptrdiff_t>(parts.size()) : words.begin();
      if (std::equal(parts.begin(), parts.end(), begin)) {
        d.kind = kind;
        words.erase(begin, begin + static_cast<std::ptrdiff_t>(parts.size()));
        return true;
      }
    }
    return false;
  };
  while (!words.empty() && take_type(true)) {
  }
  while (!words.empty() && take_type(false)) {
  }
  d.text = phrase_of(text::join(words, " "));
  return d;
}

struct Relation {
  std::string before;
  std::string_view name;  // next_to, below, above, left, right, near
  std::string anchor;     // a phrase
};

// Keywords as the relational resolution knows them, longest first, found only as whole
// words ("linear" holds no "near").
constexpr std::array<std::pair<std::string_view, std::string_view>, 7> kRelations{{
    {"right of", "right"},
    {"next to", "next_to"},
    {"left of", "left"},
    {"below", "below"},
    {"under", "below"},
    {"above", "above"},
    {"near", "near"},
}};

std::optional<Relation> split_relation(const std::string& target) {
  for (const auto& [keyword, name] : kRelations) {
    for (auto at = target.find(keyword); at != std::string::npos; at = target.find(keyword, at + 1)) {
      const std::size_t end = at + keyword.size();
      if ((at > 0 && target[at - 1] != ' ') || (end < target.size() && target[end] != ' ')) continue;
      std::vector<std::string> anchor = text::split_ws(std::string_view(target).substr(end));
      if (!anchor.empty() && (anchor.front() == "the" || anchor.front() == "a" || anchor.front() == "an")) {
        anchor.erase(anchor.begin());
      }
      return Relation{text::trim(std::string_view(target).substr(0, at)), name, phrase_of(text::join(anchor, " "))};
    }
  }
  return std::nullopt;
}

// ---- Geometry ----------------------------------------------------------------------

struct Box {
  double x, y, x2, y2, cx, cy;
};

std::optional<Box> box_of(const ElementRecord& e) {
  if (!e.bounding_box || e.bounding_box->width <= 0 || e.bounding_box->height <= 0) return std::nullopt;
  const BoundingBox& b = *e.bounding_box;
  return Box{b.x, b.y, b.x + b.width, b.y + b.height, b.x + b.width / 2, b.y + b.height / 2};
}

// Shown on the page: visible, with an area.
bool shown(const Element& e) { return e && e->is_visible && box_of(*e); }

double area_of(const ElementRecord& e) {
  return e.bounding_box ? e.bounding_box->width * e.bounding_box->height : std::numeric_limits<double>::infinity();
}

// Top to bottom, then left to right.
bool reads_before(const Element& a, const Element& b) {
  const auto& p = *a->bounding_box;
  const auto& q = *b->bounding_box;
  return p.y != q.y ? p.y < q.y : p.x < q.x;
}

double horizontal_gap(const Box& a, const Box& e) { return std::max({0.0, e.x - a.x2, a.x - e.x2}); }

// One of the two lies across the other's middle line.
bool on_one_row(const Box& a, const Box& e) {
  return (e.cy >= a.y && e.cy <= a.y2) || (a.cy >= e.y && a.cy <= e.y2);
}

bool overlaps_vertically(const Box& a, const Box& e) {
  const double t = relation_solver::SPATIAL_TOLERANCE;
  return a.y - t < e.y2 && e.y - t < a.y2;
}

bool overlaps_horizontally(const Box& a, const Box& e) {
  const double t = relation_solver::SPATIAL_TOLERANCE;
  return a.x - t < e.x2 && e.x - t < a.x2;
}

double centre_distance(const Box& a, const Box& e) { return std::hypot(a.cx - e.cx, a.cy - e.cy); }

// `inner` lies inside `outer` (or is it), by their positional paths.
bool path_within(std::string_view inner, std::string_view outer) {
  return !outer.empty() && inner.starts_with(outer) && (inner.size() == outer.size() || inner[outer.size()] == '/');
}

// ---- The page, looked at ------------------------------------------------------------

class Reader {
 public:
  Reader(const ParsedInstruction& parsed, const PageView& page, Mode mode)
      : parsed_(parsed), page_(page), mode_(mode) {
    for (const Element& e : page.elements) {
      if (e && !e->xpath.empty()) by_path_.emplace(e->xpath, e);
    }
    for (const LabelLink& link : page.extras.labels) {
      if (link.control && link.label) label_texts_[link.control->xpath].push_back(squeezed(link.label->text));
    }
  }

  ResolutionResult resolve() const {
    const std::string target = squeezed(parsed_.target.value_or(""));
    if (mode_ == Mode::text) return find_text(target);
    if (const auto relation = split_relation(target)) {
      ResolutionResult result = resolve_relation(*relation);
      if (result.resolved) return result;
    }
    return resolve_name(describe(target, parsed_.ordinal));
  }

 private:
  // The scan's own record of a control when it has one, else the extras' record of it.
  Element control_of(const LabelLink& link) const {
    const auto it = by_path_.find(link.control->xpath);
    return it != by_path_.end() ? it->second : link.control;
  }

  // What a label stands for in this line, or none.
  Element stand_in(const LabelLink& link, Kind wanted) const {
    if (!link.control || !link.label) return nullptr;
    const Element control = control_of(link);
    if (!fits_kind(*control, wanted)) return nullptr;
    // A label that is not shown names only a control that is.
    if (!shown(link.label) && !shown(control)) return nullptr;
    const bool clicks_through = link.kind == LabelLink::Kind::for_attribute || link.kind == LabelLink::Kind::wrapping;
    switch (mode_) {
      case Mode::point:
        // A click on a label is passed on to its control by the browser, and the label is
        // what a person sees (the control may be hidden behind it).
        if (link.kind == LabelLink::Kind::right) return nullptr;
        if (clicks_through && shown(link.label)) return link.label;
        return shown(control) ? control : nullptr;
      case Mode::state:
        // The control's own state, unless it is hidden behind the label that shows it
        // (whose record carries the control's enabled state).
        if (link.kind == LabelLink::Kind::right) return nullptr;
        if (!shown(control) && clicks_through && shown(link.label)) return link.label;
        return control;
      case Mode::checkable:
        return is_checkable(kind_of(*control)) ? control : nullptr;
      case Mode::field: {
        if (link.kind == LabelLink::Kind::right) return nullptr;
        const Kind kind = kind_of(*control);
        return (parsed_.action == "select" ? kind == Kind::list : kind == Kind::field) ? control : nullptr;
      }
      case Mode::text:
        return nullptr;
    }
    return nullptr;
  }

  // A target named by its own words: labels of controls first, then plain texts; whole
  // names before parts of names.
  ResolutionResult resolve_name(const Description& d) const {
    if (d.text.empty()) return ResolutionResult::not_resolved();
    std::array<Elements, 4> tiers;  // whole label, whole text, part of a label, part of a text
    Elements near_misses;
    // Each element once, in the best tier it reaches (the same page element may come as
    // a text record and as a label record, with one path).
    std::unordered_set<std::string> paths;
    std::unordered_set<const ElementRecord*> records;
    const auto add = [&](std::size_t tier, const Element& e) {
      const bool fresh = e->xpath.empty() ? records.insert(e.get()).second : paths.insert(e->xpath).second;
      if (fresh) tiers[tier].push_back(e);
    };
    for (const LabelLink& link : page_.extras.labels) {
      if (!link.label) continue;
      const Fit f = fit(phrase_of(link.label->text), d.text);
      if (f == Fit::none) continue;
      if (const Element e = stand_in(link, d.kind)) {
        add(f == Fit::exact ? 0 : 2, e);
      }
    }
    if ((mode_ == Mode::point || mode_ == Mode::state) && d.kind == Kind::any) {
      for (const Elements* list : {&page_.text_elements, &page_.extras.texts}) {
        for (const Element& e : *list) {
          // The text of a control is its own: matching it is the text match's job, and a
          // control that the text match missed was not on the page when it looked.
          if (!e || kind_of(*e) != Kind::any) continue;
          const Fit f = text_fit(*e, d.text);
          if (f == Fit::none) {
            if (near_misses.size() < 5 && squeezed(e->text).find(d.text) != std::string::npos) near_misses.push_back(e);
          } else if (!shown(e)) {
            if (near_misses.size() < 5) near_misses.push_back(e);
          } else {
            add(f == Fit::exact ? 1 : 3, e);
          }
        }
      }
    }
    for (Elements& tier : tiers) {
      if (tier.empty()) continue;
      std::stable_sort(tier.begin(), tier.end(), [](const Element& a, const Element& b) {
        return a->bounding_box && b->bounding_box ? reads_before(a, b) : static_cast<bool>(a->bounding_box);
      });
      if (d.ordinal < 1 || static_cast<std::size_t>(d.ordinal) > tier.size()) break;
      Element chosen = tier[static_cast<std::size_t>(d.ordinal) - 1];
      return ResolutionResult::found(std::move(chosen), std::move(tier));
    }
    ResolutionResult none = ResolutionResult::not_resolved();
    none.candidates = std::move(near_misses);
    return none;
  }

  // Texts for a text check or find: the whole page's texts, also those split over
  // inline pieces, compared with white space squeezed.
  ResolutionResult find_text(const std::string& target) const {
    if (target.empty()) return ResolutionResult::not_resolved();
    const bool exact = parsed_.action == "find_exact_text";
    Elements matched;
    std::unordered_set<std::string> taken;
    for (const Elements* list : {&page_.text_elements, &page_.extras.texts}) {
      for (const Element& e : *list) {
        if (!shown(e)) continue;
        const std::string s = squeezed(e->text);
        if (exact ? s != target : s.find(target) == std::string::npos) continue;
        if (e->xpath.empty() || taken.insert(e->xpath).second) matched.push_back(e);
      }
    }
    if (matched.empty()) return ResolutionResult::not_resolved();
    if (!exact) {
      std::stable_sort(matched.begin(), matched.end(), [](const Element& a, const Element& b) {
        return text::length(a->text) < text::length(b->text);
      });
    }
    Element first = matched.front();
    return ResolutionResult::found(std::move(first), std::move(matched));
  }

  // ---- Relations ----

  struct Anchor {
    Element record;
    int tier = 0;  // 0 whole text, 1 whole attribute, 2 part of a text
    bool interactable = false;
  };

  std::vector<Anchor> anchors_for(const std::string& phrase) const {
    std::vector<Anchor> found;
    const auto consider = [&](const Element& e, bool interactable) {
      if (!shown(e)) return;
      const Fit f = text_fit(*e, phrase);
      if (f != Fit::none) {
        found.push_back({e, f == Fit::exact ? 0 : 2, interactable});
        return;
      }
      if (!interactable) return;
      // Not the label the scan guessed from the text above a field: only names the page
      // gave the element itself.
      for (const char* name : {"aria-label", "placeholder", "title"}) {
        if (phrase_of(e->attributes.get(name)) == phrase) {
          found.push_back({e, 1, true});
          return;
        }
      }
    };
    for (const Element& e : page_.elements) consider(e, true);
    for (const Element& e : page_.text_elements) consider(e, false);
    for (const Element& e : page_.extras.texts) consider(e, false);
    for (const LabelLink& link : page_.extras.labels) consider(link.label, false);
    // Only the best kind of match: whole texts, else names in attributes, else parts of
    // texts. Among them, the anchors the relational resolution prefers (controls, then
    // smaller boxes), then reading order.
    if (found.empty()) return found;
    const int best = std::min_element(found.begin(), found.end(), [](const Anchor& a, const Anchor& b) {
                       return a.tier < b.tier;
                     })->tier;
    std::erase_if(found, [best](const Anchor& a) { return a.tier != best; });
    std::stable_sort(found.begin(), found.end(), [](const Anchor& a, const Anchor& b) {
      if (a.interactable != b.interactable) return a.interactable;
      const double area_a = area_of(*a.record);
      const double area_b = area_of(*b.record);
      if (area_a != area_b) return area_a < area_b;
      return reads_before(a.record, b.record);
    });
    std::vector<Anchor> kept;
    std::unordered_set<std::string> taken;
    for (Anchor& anchor : found) {
      if (kept.size() == relaxed::MOST_ANCHORS) break;
      if (!anchor.record->xpath.empty() && !taken.insert(anchor.record->xpath).second) continue;
      kept.push_back(std::move(anchor));
    }
    return kept;
  }

  // Whether an element fits what the line says of it, beyond its place.
  bool qualifies(const Element& e, const Description& d) const {
    const Kind kind = kind_of(*e);
    if (mode_ == Mode::checkable && !is_checkable(kind)) return false;
    if (mode_ == Mode::field && (parsed_.action == "select" ? kind != Kind::list : kind != Kind::field)) return false;
    if (!fits_kind(*e, d.kind)) return false;
    if (d.text.empty()) return true;
    if (lexical_tier::_matches_element(d.text, *e)) return true;
    const auto labels = label_texts_.find(e->xpath);
    return labels != label_texts_.end() &&
           std::any_of(labels->second.begin(), labels->second.end(),
                       [&](const std::string& label) { return label.find(d.text) != std::string::npos; });
  }

  // The table cell the anchor stands in, whose width is the anchor's column.
  std::optional<Box> column_of(const Element& anchor) const {
    const Element* cell = nullptr;
    for (const Element& c : page_.extras.cells) {
      if (c && box_of(*c) && path_within(anchor->xpath, c->xpath) && (!cell || c->xpath.size() > (*cell)->xpath.size())) {
        cell = &c;
      }
    }
    return cell ? box_of(**cell) : std::nullopt;
  }

  Elements rank(std::string_view relation, const Element& anchor, const Elements& pool) const {
    const Box a = *box_of(*anchor);
    struct Ranked {
      Element element;
      double key;
    };
    std::vector<Ranked> ranked;
    const auto keep = [&](auto&& test, auto&& key) {
      ranked.clear();
      for (const Element& e : pool) {
        const Box b = *box_of(*e);
        if (test(b, *e)) ranked.push_back({e, key(b)});
      }
    };
    if (relation == "next_to") {
      keep([&](const Box& b, const ElementRecord&) { return on_one_row(a, b) && horizontal_gap(a, b) <= relaxed::NEXT_TO_MAX_GAP; },
           [&](const Box& b) { return horizontal_gap(a, b); });
      if (ranked.empty()) {
        keep([&](const Box& b, const ElementRecord&) { return overlaps_vertically(a, b) && horizontal_gap(a, b) <= relaxed::NEXT_TO_MAX_GAP; },
             [&](const Box& b) { return centre_distance(a, b); });
      }
    } else if (relation == "right" || relation == "left") {
      const bool right = relation == "right";
      keep([&](const Box& b, const ElementRecord&) { return (right ? b.x >= a.x2 : b.x2 <= a.x) && overlaps_vertically(a, b); },
           [&](const Box& b) { return right ? b.x : -b.x2; });
      // A field's text starts inside its box: what is drawn within the field's own end,
      // on its row, lies beside that text.
      if (ranked.empty() && kind_of(*anchor) == Kind::field) {
        const double t = relation_solver::SPATIAL_TOLERANCE;
        keep(
            [&](const Box& b, const ElementRecord&) {
              return on_one_row(a, b) && (right ? b.x >= a.cx && b.x2 <= a.x2 + t : b.x >= a.x - t && b.x2 <= a.cx);
            },
            [&](const Box& b) { return right ? a.x2 - b.x2 : b.x - a.x; });
      }
    } else if (relation == "below" || relation == "above") {
      const bool below = relation == "below";
      const auto beyond = [&](const Box& b) { return below ? b.y >= a.y2 : b.y2 <= a.y; };
      const auto distance = [&](const Box& b) { return below ? b.y - a.y2 : a.y - b.y2; };
      keep([&](const Box& b, const ElementRecord&) { return beyond(b) && overlaps_horizontally(a, b); }, distance);
      if (ranked.empty()) {
        if (const auto column = column_of(anchor)) {
          keep([&](const Box& b, const ElementRecord&) { return beyond(b) && b.cx >= column->x && b.cx <= column->x2; }, distance);
        }
      }
    } else if (relation == "near") {
      // A bare text node has no path; its distance in the tree is not known.
      keep(
          [&](const Box& b, const ElementRecord& e) {
            return centre_distance(a, b) <= relation_solver::NEAR_MAX_PIXELS &&
                   (anchor->xpath.empty() ||
                    relation_solver::_dom_distance(anchor->xpath, e.xpath) <= relation_solver::NEAR_MAX_DOM_STEPS);
          },
          [&](const Box& b) { return centre_distance(a, b); });
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& p, const Ranked& q) { return p.key < q.key; });
    Elements out;
    for (auto& r : ranked) out.push_back(std::move(r.element));
    return out;
  }

  ResolutionResult resolve_relation(const Relation& relation) const {
    if (relation.anchor.empty()) return ResolutionResult::not_resolved();
    const Description d = describe(relation.before, parsed_.ordinal);
    for (const Anchor& anchor : anchors_for(relation.anchor)) {
      Elements pool;
      for (const Element& e : page_.elements) {
        if (!shown(e) || e == anchor.record) continue;
        if (path_within(e->xpath, anchor.record->xpath) || path_within(anchor.record->xpath, e->xpath)) continue;
        if (qualifies(e, d)) pool.push_back(e);
      }
      Elements ranked = rank(relation.name, anchor.record, pool);
      if (d.ordinal < 1 || static_cast<std::size_t>(d.ordinal) > ranked.size()) continue;
      Element chosen = ranked[static_cast<std::size_t>(d.ordinal) - 1];
      ResolutionResult result = ResolutionResult::found(std::move(chosen), std::move(ranked));
      result.anchor_text = text::trim(anchor.record->text);
      return result;
    }
    return ResolutionResult::not_resolved();
  }

  const ParsedInstruction& parsed_;
  const PageView& page_;
  Mode mode_;
  std::unordered_map<std::string, Element> by_path_;
  // The texts of the labels of each control, squeezed, by the control's path.
  std::unordered_map<std::string, std::vector<std::string>> label_texts_;
};

}  // namespace

bool relaxed_serves(std::string_view action) { return mode_of(action).has_value(); }

ResolutionResult resolve_relaxed(const ParsedInstruction& parsed, const PageView& page) {
  const auto mode = mode_of(parsed.action);
  if (!mode) return ResolutionResult::not_resolved();
  return Reader(parsed, page, *mode).resolve();
}

}  // namespace quillfen::runner
