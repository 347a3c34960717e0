#include "engine/spatial/layout_mapper.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillfen {
namespace {

Element record(std::string tag, std::string text, std::optional<BoundingBox> box, AttributeMap attributes = {}) {
  auto e = std::make_shared<ElementRecord>();
  e->tag = std::move(tag);
  e->text = std::move(text);
  e->attributes = std::move(attributes);
  e->bounding_box = box;
  e->is_visible = true;
  e->is_enabled = true;
  return e;
}

BoundingBox box(double x, double y, double w = 50, double h = 20) { return {x, y, w, h, false}; }

std::vector<std::string> texts(const Matrix& m) {
  std::vector<std::string> out;
  for (const auto& e : m) out.push_back(e.text);
  return out;
}

TEST(LayoutMapper, ReadingOrderIsExactTopThenLeftAndStable) {
  const Elements dom{
      record("button", "right, lower by half a pixel", box(10, 100.0)),
      record("button", "left on the same row", box(0, 100.0)),
      record("button", "far right, half a pixel higher", box(900, 99.5)),
      record("button", "no box", std::nullopt),
      record("button", "same box as the text", box(5, 300)),
      record("button", "same box again", box(5, 300)),
  };
  const Elements text_records{record("span", "text on the shared box", box(5, 300)), record("p", "top", box(400, 0))};
  const Matrix m = LayoutMapper(dom, text_records).build();
  EXPECT_EQ(texts(m), (std::vector<std::string>{"top", "far right, half a pixel higher", "left on the same row",
                                                "right, lower by half a pixel", "same box as the text",
                                                "same box again", "text on the shared box"}));
  for (std::size_t i = 0; i < m.size(); ++i) EXPECT_EQ(m[i].index, static_cast<int>(i));
  // Entries are the caller's records, not copies.
  EXPECT_EQ(m[1].element, dom[2]);
  EXPECT_EQ(m[6].element, text_records[0]);
  EXPECT_TRUE(LayoutMapper({}, {}).build().empty());
}

TEST(LayoutMapper, OrdinalsCountPerTypeAndTextEntriesStandApart) {
  auto disabled = record("button", "Off", box(0, 60));
  disabled->is_enabled = false;
  const Elements dom{record("a", "Home", box(0, 40)), record("button", "Save", box(0, 50)), disabled,
                     record("input", "", box(0, 70), {{"type", "submit"}}), record("textarea", "", box(0, 80))};
  const Elements text_records{record("h1", "Title", box(0, 0), {{"_label", "ignored"}, {"aria-label", "also"}}),
                              record("p", "Footer", box(0, 90))};
  const Matrix m = LayoutMapper(dom, text_records).build();
  struct Expected {
    std::string text;
    std::string type;
    int order;
    bool anchor_only;
  };
  const std::vector<Expected> expected{{"Title", "text", 1, true},   {"Home", "link", 1, false},
                                       {"Save", "button", 1, false}, {"Off", "button", 2, false},
                                       {"", "button", 3, false},     {"", "input", 1, false},
                                       {"Footer", "text", 2, true}};
  ASSERT_EQ(m.size(), expected.size());
  for (std::size_t i = 0; i < m.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(m[i].text, expected[i].text);
    EXPECT_EQ(m[i].element_type, expected[i].type);
    EXPECT_EQ(m[i].order_in_type, expected[i].order);
    EXPECT_EQ(m[i].is_anchor_only, expected[i].anchor_only);
  }
  EXPECT_FALSE(m[3].is_enabled);
  // A text entry matches by its text alone, whatever labels its record carries.
  EXPECT_EQ(m[0].searchable, "Title");
  EXPECT_EQ(m[0].label, "ignored");
}

TEST(LayoutMapper, ElementTypeFromRoleThenInputTypeThenTag) {
  struct Case {
    std::string tag;
    AttributeMap attributes;
    std::string expected;
  };
  const std::vector<Case> cases{
      {"input", {{"type", "submit"}}, "button"},   {"input", {{"type", "reset"}}, "button"},
      {"input", {{"type", "button"}}, "button"},   {"input", {{"type", "Submit"}}, "input"},
      {"input", {{"type", "checkbox"}}, "input"},  {"textarea", {}, "input"},
      {"a", {}, "link"},                           {"select", {}, "select"},
      {"span", {}, "span"},                        {"", {}, ""},
      {"button", {{"role", "link"}}, "link"},      {"div", {{"role", "combobox"}}, "combobox"},
      {"a", {{"role", "button"}}, "button"},       {"a", {{"role", "tab"}}, "link"},
      {"div", {{"role", "Button"}}, "div"},        {"input", {{"role", "textbox"}, {"type", "submit"}}, "textbox"},
  };
  for (const auto& c : cases) {
    ElementRecord e;
    e.tag = c.tag;
    e.attributes = c.attributes;
    EXPECT_EQ(layout_mapper::_element_type(e), c.expected) << "tag " << c.tag;
  }
}

TEST(LayoutMapper, PositionKeepsHalvesAndSearchableJoinsSurfaces) {
  const Position p = layout_mapper::_position(box(10, 20, 101, 30));
  EXPECT_DOUBLE_EQ(p.cx, 60.5);
  EXPECT_DOUBLE_EQ(p.cy, 35.0);
  EXPECT_DOUBLE_EQ(p.x2, 111);
  EXPECT_DOUBLE_EQ(p.y2, 50);
  const Position corner = layout_mapper::_position(BoundingBox{7, 9, 0, 0, true});
  EXPECT_EQ(corner.cx, 7);
  EXPECT_EQ(corner.y2, 9);

  struct Case {
    std::string text;
    AttributeMap attributes;
    std::string expected;
  };
  const std::vector<Case> cases{
      {"Save", {{"aria-label", "Save changes"}}, "Save Save changes"},
      {"Save ", {{"aria-label", "Save changes"}}, "Save  Save changes"},
      {"", {{"name", "q"}, {"placeholder", "Search"}, {"_label", "Find"}}, "Find Search q"},
      {" ", {{"name", "q"}}, "q"},
      {"", {{"title", "not a surface"}}, ""},
  };
  for (const auto& c : cases) {
    ElementRecord e;
    e.text = c.text;
    e.attributes = c.attributes;
    EXPECT_EQ(layout_mapper::_searchable(e), c.expected);
  }
}

}  // namespace
}  // namespace quillfen
