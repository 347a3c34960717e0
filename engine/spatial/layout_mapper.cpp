#include "engine/spatial/layout_mapper.hpp"

#include "engine/core/text.hpp"

#include <algorithm>
#include <array>
#include <compare>
#include <map>
#include <string_view>
#include <utility>

namespace quillfen {

namespace layout_mapper {

namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 5> kTagToType{{
    {"a", "link"},
    {"button", "button"},
    {"input", "input"},
    {"select", "select"},
    {"textarea", "input"},
}};

bool is_one_of(std::string_view value, std::initializer_list<std::string_view> choices) {
  return std::find(choices.begin(), choices.end(), value) != choices.end();
}

// text::trim, without decoding the common all-ASCII text (whose white space is the
// ASCII blank and the controls from tab to carriage return).
std::string trimmed(std::string_view s) {
  const bool ascii = std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (!ascii) return text::trim(s);
  const auto is_space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
  return std::string(s);
}

}  // namespace

std::string _element_type(const ElementRecord& element) {
  const std::string& role = element.attributes.get("role");
  if (is_one_of(role, {"button", "link", "textbox", "combobox"})) return role;
  if (element.tag == "input" && is_one_of(element.attributes.get("type"), {"submit", "button", "reset"})) {
    return "button";
  }
  for (const auto& [tag, type] : kTagToType) {
    if (element.tag == tag) return std::string(type);
  }
  return element.tag;
}

Position _position(const BoundingBox& bb) {
  Position p;
  p.x = bb.x;
  p.y = bb.y;
  p.w = bb.width;
  p.h = bb.height;
  p.cx = bb.x + bb.width / 2;
  p.cy = bb.y + bb.height / 2;
  p.x2 = bb.x + bb.width;
  p.y2 = bb.y + bb.height;
  return p;
}

std::string _searchable(const ElementRecord& element) {
  std::string joined;
  const auto add = [&joined](const std::string& surface) {
    if (surface.empty()) return;
    if (!joined.empty()) joined += ' ';
    joined += surface;
  };
  add(element.text);
  for (const char* key : {"_label", "aria-label", "placeholder", "name"}) add(element.attributes.get(key));
  return trimmed(joined);
}

}  // namespace layout_mapper

namespace {

// A record that has a box, with its place in the page.
struct Placed {
  const Element* record;
  bool anchor_only;
  Position position;
};

MatrixEntry entry_for(const Placed& placed) {
  const ElementRecord& record = **placed.record;
  const bool anchor_only = placed.anchor_only;
  MatrixEntry e;
  e.tag = record.tag;
  e.element_type = anchor_only ? "text" : layout_mapper::_element_type(record);
  e.text = record.text;
  e.label = record.attributes.get("_label");
  e.searchable = anchor_only ? record.text : layout_mapper::_searchable(record);
  e.is_enabled = anchor_only || record.is_enabled;
  e.is_anchor_only = anchor_only;
  e.position = placed.position;
  e.element = *placed.record;
  return e;
}

// A total order on coordinates, NaN included, so that no box, however odd, can break
// the sort.
bool before(const Position& a, const Position& b) {
  const auto by_y = std::weak_order(a.y, b.y);
  if (by_y != 0) return by_y < 0;
  return std::weak_order(a.x, b.x) < 0;
}

}  // namespace

LayoutMapper::LayoutMapper(Elements dom_elements, Elements text_elements)
    : dom_elements_(std::move(dom_elements)), text_elements_(std::move(text_elements)) {}

Matrix LayoutMapper::build() const {
  // The records are ordered first and the entries made afterwards, in their final
  // places, so that the sort moves small values rather than whole entries.
  std::vector<Placed> placed;
  placed.reserve(dom_elements_.size() + text_elements_.size());
  const auto place = [&placed](const Elements& records, bool anchor_only) {
    for (const Element& record : records) {
      if (record && record->bounding_box) {
        placed.push_back({&record, anchor_only, layout_mapper::_position(*record->bounding_box)});
      }
    }
  };
  place(dom_elements_, false);
  place(text_elements_, true);
  std::stable_sort(placed.begin(), placed.end(),
                   [](const Placed& a, const Placed& b) { return before(a.position, b.position); });

  Matrix entries;
  entries.reserve(placed.size());
  std::map<std::string, int, std::less<>> counters;
  for (const Placed& p : placed) {
    MatrixEntry& e = entries.emplace_back(entry_for(p));
    e.index = static_cast<int>(entries.size() - 1);
    e.order_in_type = ++counters[e.element_type];
  }
  return entries;
}

}  // namespace quillfen
