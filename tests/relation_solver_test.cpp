#include "engine/spatial/relation_solver.hpp"

#include "engine/spatial/layout_mapper.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace quillfen {
namespace {

using namespace relation_solver;
using std::nullopt;
using Opt = std::optional<std::string>;

}  // namespace

namespace relation_solver {

void PrintTo(const ParsedTarget& t, std::ostream* os) {
  const auto show = [os](const auto& v) {
    if (v) *os << '\'' << *v << '\'';
    else *os << "none";
    *os << ' ';
  };
  *os << "( ";
  show(t.anchor);
  show(t.relation);
  show(t.type_filter);
  show(t.ordinal);
  show(t.search_text);
  show(t.target_text);
  *os << ")";
}

}  // namespace relation_solver

namespace {

// One record of a test page: interactable unless `text_only`.
struct Spec {
  std::string tag;
  std::string text;
  double x, y, w, h;
  AttributeMap attributes = {};
  std::string xpath = "";
  bool text_only = false;
};

struct Page {
  Elements dom;
  Elements texts;
  RelationSolver solver;

  explicit Page(const std::vector<Spec>& specs) : solver(build(specs, dom, texts)) {}

  static Matrix build(const std::vector<Spec>& specs, Elements& dom, Elements& texts) {
    for (const auto& s : specs) {
      auto e = std::make_shared<ElementRecord>();
      e->tag = s.tag;
      e->text = s.text;
      e->attributes = s.attributes;
      e->bounding_box = BoundingBox{s.x, s.y, s.w, s.h, false};
      e->is_visible = true;
      e->is_enabled = true;
      e->xpath = s.xpath;
      (s.text_only ? texts : dom).push_back(e);
    }
    return LayoutMapper(dom, texts).build();
  }

  // The text of the chosen element, or "-" when nothing resolved.
  std::string pick(const std::string& target, std::optional<int> ordinal = nullopt) const {
    const ResolutionResult r = result(target, ordinal);
    return r.resolved ? r.element->text : "-";
  }

  ResolutionResult result(const std::string& target, std::optional<int> ordinal = nullopt) const {
    ParsedInstruction p;
    p.action = "click";
    p.target = target;
    p.ordinal = ordinal;
    return solver.resolve(p);
  }

  const MatrixEntry& entry(const std::string& text) const {
    for (const auto& e : solver.matrix()) {
      if (e.text == text) return e;
    }
    throw std::logic_error("no entry " + text);
  }

  RelationSolver::Entries all_but(const MatrixEntry& anchor) const {
    RelationSolver::Entries out;
    for (const auto& e : solver.matrix()) {
      if (&e != &anchor) out.push_back(&e);
    }
    return out;
  }

  std::vector<std::string> rank(const std::string& anchor, const Opt& strategy,
                                std::optional<int> ordinal = nullopt) const {
    const MatrixEntry& a = entry(anchor);
    std::vector<std::string> out;
    for (const MatrixEntry* e : solver._rank(all_but(a), a, strategy, ordinal)) out.push_back(e->text);
    return out;
  }
};

TEST(RelationSolver, ParsesTargetsIntoSixParts) {
  struct Case {
    std::string target;
    ParsedTarget expected;
  };
  const std::vector<Case> cases{
      {"Add to cart near Blue Backpack", {"blue backpack", "near", nullopt, nullopt, nullopt, "add to cart"}},
      {"button next to login", {"login", "next_to", "button", nullopt, nullopt, nullopt}},
      {"second login", {nullopt, nullopt, nullopt, 2, "login", nullopt}},
      {"first input", {nullopt, nullopt, "input", 1, nullopt, nullopt}},
      {"first button below the Email", {"email", "below", "button", 1, nullopt, nullopt}},
      {"second button below", {"", "below", "button", 2, nullopt, nullopt}},
      {"second login below", {"", "below", nullopt, 2, "login", "login"}},
      {"3rd link", {nullopt, nullopt, "link", 3, nullopt, nullopt}},
      {"Submit", {}},
      {"", {}},
      // The longest keyword is tried first, wherever it stands.
      {"button below Total right of Price", {"price", "right", "button", nullopt, nullopt, "below total"}},
      // Keywords are found inside words.
      {"underline link", {"line link", "below", "link", nullopt, nullopt, nullopt}},
      {"linear gauge", {"gauge", "near", nullopt, nullopt, nullopt, "li"}},
      {"button next  to Save", {nullopt, nullopt, "button", nullopt, nullopt, nullopt}},
      // Table order decides between two ordinal words, and between two type words.
      {"2nd first button", {nullopt, nullopt, "button", 1, "2nd", nullopt}},
      {"input next to the login button", {"login button", "next_to", "button", nullopt, nullopt, "input"}},
      // Articles go only with a blank after them, each once, in the order the, a, an.
      {"button near another item", {"another item", "near", "button", nullopt, nullopt, nullopt}},
      {"link near the a foo", {"foo", "near", "link", nullopt, nullopt, nullopt}},
      {"link near a the foo", {"the foo", "near", "link", nullopt, nullopt, nullopt}},
      {"first, link", {nullopt, nullopt, "link", nullopt, nullopt, nullopt}},
      {"SECOND the Login", {nullopt, nullopt, nullopt, 2, "login", nullopt}},
  };
  for (const auto& c : cases) EXPECT_EQ(_parse_target(c.target), c.expected) << c.target;
  EXPECT_EQ(_normalize("Log In"), "login");
  EXPECT_EQ(_normalize("log-in"), _normalize("LOGIN"));
  EXPECT_EQ(_normalize("Log\tIn"), "log\tin");
}

TEST(RelationSolver, GeometryToleranceAndTreeDistance) {
  const Page page({{"button", "a", 0, 100, 50, 20},
                   {"button", "gap 30", 0, 150, 50, 20},
                   {"button", "gap 40", 0, 160, 50, 20},
                   {"button", "beside, gap 39", 89, 300, 50, 20},
                   {"button", "beside, gap 40", 90, 400, 50, 20}});
  const auto& a = page.entry("a");
  EXPECT_TRUE(_overlaps_vertically(a, page.entry("gap 30")));
  EXPECT_TRUE(_overlaps_vertically(page.entry("gap 30"), a));
  EXPECT_FALSE(_overlaps_vertically(a, page.entry("gap 40")));
  EXPECT_TRUE(_overlaps_horizontally(a, page.entry("beside, gap 39")));
  EXPECT_FALSE(_overlaps_horizontally(a, page.entry("beside, gap 40")));
  EXPECT_DOUBLE_EQ(_centre_distance(a, page.entry("gap 30")), 50.0);

  struct Case {
    std::string a, b;
    int expected;
  };
  const std::vector<Case> cases{
      {"", "", 0},
      {"", "/html/body", 3},
      {"/html/body/div[2]/span", "/html/body/div[3]/span", 2},
      {"/html/body/div[1]", "/html/body/div[1]/", 0},
      // Equal steps after a differing one still count as shared.
      {"/html/body/div[1]/p/span", "/html/body/div[2]/p/span", 2},
      {"/html/body/ul/li[1]", "/html/body/ul/li[1]/a", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(_dom_distance(c.a, c.b), c.expected) << c.a << " | " << c.b;
}

TEST(RelationSolver, AnchorPrefersTextThenInteractableThenSmallestBox) {
  const Page attr_vs_text({{"button", "", 0, 0, 20, 20, {{"aria-label", "Login"}}},
                           {"span", "LOGIN", 0, 100, 400, 40, {}, "", true}});
  EXPECT_EQ(attr_vs_text.solver._find_anchor("Login")->tag, "span");

  const Page interactable_vs_text({{"span", "Login", 0, 0, 5, 5, {}, "", true}, {"button", "Login", 0, 100, 400, 40}});
  EXPECT_EQ(interactable_vs_text.solver._find_anchor("login")->tag, "button");

  const Page areas({{"button", "Login", 0, 0, 100, 40}, {"a", "Login", 0, 100, 80, 30}, {"input", "Login", 0, 200, 80, 30}});
  EXPECT_EQ(areas.solver._find_anchor("login")->tag, "a");

  // Prefixes: a blank or an opening parenthesis must follow the anchor text.
  const Page prefixes({{"span", "Pricey", 0, 0, 10, 10, {}, "", true},
                       {"span", "Price(USD)", 0, 50, 50, 10, {}, "", true},
                       {"span", "Price (USD)", 0, 100, 60, 10, {}, "", true}});
  EXPECT_EQ(prefixes.solver._find_anchor("price")->text, "Price(USD)");
  EXPECT_EQ(prefixes.solver._find_anchor("price (usd)")->text, "Price (USD)");
  EXPECT_EQ(prefixes.solver._find_anchor("pric"), nullptr);

  // A text prefix beats an exact attribute only when no exact match exists at all.
  const Page prefix_attr({{"input", "", 0, 0, 10, 10, {{"placeholder", "Email address"}}},
                          {"button", "", 0, 50, 10, 10, {{"_label", "Email"}}}});
  EXPECT_EQ(prefix_attr.solver._find_anchor("email")->index, 1);
  EXPECT_EQ(prefix_attr.solver._find_anchor("EMAIL ADDRESS")->index, 0);
}

TEST(RelationSolver, DirectionalRulesKeepEdgesAndOrderNearestFirst) {
  const Page page({{"span", "Anchor", 100, 100, 100, 20, {}, "", true},
                   {"button", "Touching below", 100, 120, 100, 20},
                   {"button", "Further below", 120, 200, 100, 20},
                   {"button", "Touching above", 100, 60, 100, 40},
                   {"button", "Further above", 100, 0, 100, 20},
                   {"button", "Right far", 500, 101, 50, 20},
                   {"button", "Right near", 250, 104, 50, 20},
                   {"button", "Left", 0, 100, 50, 20}});
  EXPECT_EQ(page.rank("Anchor", "below"), (std::vector<std::string>{"Touching below", "Further below"}));
  EXPECT_EQ(page.rank("Anchor", "above"), (std::vector<std::string>{"Touching above", "Further above"}));
  EXPECT_EQ(page.rank("Anchor", "right"), (std::vector<std::string>{"Right near", "Right far"}));
  EXPECT_EQ(page.rank("Anchor", "left"), (std::vector<std::string>{"Left"}));
  // "next to" looks right only and takes the first in reading order, not the closest.
  EXPECT_EQ(page.rank("Anchor", "next_to"), (std::vector<std::string>{"Right far"}));
  EXPECT_EQ(page.rank("Anchor", "next_to", 2), (std::vector<std::string>{"Right near"}));
  EXPECT_EQ(page.rank("Anchor", "below", 2), (std::vector<std::string>{"Further below"}));
  EXPECT_TRUE(page.rank("Anchor", "below", 3).empty());
  EXPECT_TRUE(page.rank("Anchor", nullopt).empty());
  EXPECT_TRUE(page.rank("Anchor", "after").empty());
}

TEST(RelationSolver, SquareEntriesComeBeforeThoseOnlyWithinTolerance) {
  // Rows 48 pixels apart: the row above lies within the 40-pixel tolerance of the anchor.
  std::vector<Spec> rows;
  for (int i = 0; i < 4; ++i) {
    const double y = 100 + 48.0 * i;
    const std::string n = std::to_string(i + 1);
    rows.push_back({"td", "iPhone " + n, 20, y, 120, 20, {}, "", true});
    rows.push_back({"button", "Revoke " + n, 400, y - 4, 80, 28});
  }
  const Page table(rows);
  EXPECT_EQ(table.pick("Revoke next to iPhone 3"), "Revoke 3");
  EXPECT_EQ(table.pick("button next to iPhone 1"), "Revoke 1");
  EXPECT_EQ(table.rank("iPhone 2", "right"), (std::vector<std::string>{"Revoke 2", "Revoke 1", "Revoke 3"}));
  EXPECT_EQ(table.rank("iPhone 2", "next_to", 2), (std::vector<std::string>{"Revoke 1"}));

  // Below a narrow label, the wide field under it is square with it; a small button just
  // beside the label's edge is closer but only within tolerance.
  const Page form({{"label", "Email", 100, 0, 60, 20, {}, "", true},
                   {"button", "Help", 170, 30, 20, 20},
                   {"input", "", 0, 60, 400, 30, {{"name", "email"}}}});
  EXPECT_EQ(form.rank("Email", "below"), (std::vector<std::string>{"", "Help"}));

  // "near" stays ordered by distance alone.
  const Page near({{"span", "Anchor", 100, 100, 20, 20, {}, "/html/body/p", true},
                   {"button", "Diagonal", 130, 130, 20, 20, {}, "/html/body/button[1]"},
                   {"button", "Level", 160, 100, 20, 20, {}, "/html/body/button[2]"}});
  EXPECT_EQ(near.rank("Anchor", "near"), (std::vector<std::string>{"Diagonal", "Level"}));
}

TEST(RelationSolver, NearIsBoundedByPixelsAndTreeSteps) {
  const std::string deep = "/html/body/div/div/div/div/div/div/button";  // 12 steps from the anchor
  const std::string close = "/html/body/div/div/div/div/button";         // 10 steps
  const Page page({{"span", "Anchor", 0, 0, 20, 20, {}, "/html/body/main/section/article/p/span", true},
                   {"button", "250 away, deep", 150, 200, 20, 20, {}, deep},
                   {"button", "300 away, close", 180, 240, 20, 20, {}, close},
                   {"button", "301 away", 0, 301, 20, 20, {}, "/html/body/button"}});
  EXPECT_EQ(_dom_distance(page.entry("Anchor").element->xpath, deep), 12);
  EXPECT_EQ(_dom_distance(page.entry("Anchor").element->xpath, close), 10);
  EXPECT_EQ(page.rank("Anchor", "near"), (std::vector<std::string>{"300 away, close"}));
}

TEST(RelationSolver, OrdinalTargetsCountInReadingOrder) {
  const Page page({{"span", "Login", 0, 0, 50, 20, {}, "", true},
                   {"a", "Home", 0, 30, 50, 20},
                   {"button", "Login", 0, 60, 50, 20},
                   {"button", "Login now", 0, 90, 50, 20},
                   {"input", "", 0, 120, 50, 20, {{"placeholder", "Log-in name"}}},
                   {"button", "Cancel", 0, 150, 50, 20}});
  struct Case {
    std::string target;
    std::string expected;
  };
  const std::vector<Case> cases{
      {"first button", "Login"},
      {"third button", "Cancel"},
      {"fourth button", "-"},
      {"first login", "Login"},
      // One exact "login" is too few for "second": the normalised pool decides.
      {"second login", "Login now"},
      {"third login", ""},
      {"second logout", "Login"},  // nothing mentions it: the unfiltered pool
      {"first link", "Home"},
      {"Submit", "-"},
  };
  for (const auto& c : cases) EXPECT_EQ(page.pick(c.target), c.expected) << c.target;

  const ResolutionResult buttons = page.result("first button");
  ASSERT_EQ(buttons.candidates.size(), 3u);
  EXPECT_EQ(buttons.candidates[2]->text, "Cancel");
  EXPECT_FALSE(buttons.anchor_text.has_value());

  const Json missing = to_json(page.result("Submit"));
  EXPECT_EQ(missing, (Json{{"resolved", false}, {"confidence", 0.0}, {"element", nullptr}, {"candidates", Json::array()}}));

  // Exact matches win when there are enough of them.
  const Page exact({{"button", "Login now", 0, 0, 50, 20}, {"button", "login", 0, 30, 50, 20}, {"button", " LOGIN ", 0, 60, 50, 20}});
  EXPECT_EQ(exact.pick("second login"), " LOGIN ");
  EXPECT_EQ(exact.solver._resolve_ordinal(0, nullopt).resolved, false);
}

TEST(RelationSolver, RelationalTargetsAndTypeRelaxation) {
  const Page page({{"span", "Prices", 0, 0, 100, 20, {}, "", true},
                   {"a", "Details", 0, 40, 100, 20},
                   {"a", "More", 0, 80, 100, 20},
                   {"span", "Login", 0, 300, 60, 20, {}, "", true},
                   {"a", "Help", 100, 300, 50, 20},
                   {"button", "Elsewhere", 600, 600, 50, 20}});
  const ResolutionResult link = page.result("link below Prices");
  ASSERT_TRUE(link.resolved);
  EXPECT_EQ(link.element->text, "Details");
  EXPECT_EQ(link.anchor_text, "Prices");
  EXPECT_EQ(link.ordinal, 1);
  EXPECT_EQ(link.type_relaxed, false);
  EXPECT_EQ(link.actual_type, Opt("link"));
  ASSERT_EQ(link.candidates.size(), 3u);
  EXPECT_EQ(link.candidates[2]->text, "Help");

  const ResolutionResult item = page.result("item below Prices");
  EXPECT_EQ(item.actual_type, std::optional<Opt>(Opt()));
  EXPECT_EQ(page.result("second link below Prices").ordinal, 2);
  EXPECT_EQ(page.pick("second link below Prices"), "More");

  // No button stands next to the anchor, but buttons exist: the link there is taken.
  const ResolutionResult relaxed = page.result("button next to login");
  ASSERT_TRUE(relaxed.resolved);
  EXPECT_EQ(relaxed.element->text, "Help");
  EXPECT_EQ(relaxed.type_relaxed, true);
  EXPECT_EQ(relaxed.actual_type, Opt("link"));

  EXPECT_EQ(page.pick("select next to login"), "-");  // no select anywhere: no relaxation
  EXPECT_EQ(page.pick("button next to logout"), "-");
  EXPECT_EQ(page.pick("link left of Login"), "-");

  // The anchor is never a candidate, even when it is interactable and nearest.
  const Page buttons({{"button", "Save", 0, 0, 50, 20}, {"button", "Save draft", 60, 0, 80, 20}});
  const ResolutionResult near = buttons.result("save near save");
  ASSERT_TRUE(near.resolved);
  EXPECT_EQ(near.element->text, "Save draft");
  EXPECT_EQ(near.candidates.size(), 1u);
  EXPECT_EQ(buttons.pick("button next to Save draft"), "-");
}

TEST(RelationSolver, InstructionOrdinalCountsWhenTheTargetHasNone) {
  std::vector<Spec> specs;
  for (int i = 0; i < 3; ++i) {
    const double y = 200.0 * i;
    specs.push_back({"h3", "Blue Backpack " + std::to_string(i + 1), 0, y, 200, 20, {}, "", true});
    specs.push_back({"button", "Add to cart " + std::to_string(i + 1), 0, y + 30, 120, 30});
    specs.push_back({"a", "Details " + std::to_string(i + 1), 0, y + 70, 120, 20});
  }
  specs.push_back({"h3", "Blue Backpack", 300, 0, 200, 20, {}, "", true});
  specs.push_back({"button", "Add to cart A", 300, 30, 120, 30});
  specs.push_back({"button", "Add to cart B", 300, 70, 120, 30});
  const Page page(specs);
  struct Case {
    std::string target;
    std::optional<int> ordinal;
    std::string expected;
  };
  const std::vector<Case> cases{
      {"Add to cart below Blue Backpack", 2, "Add to cart B"},
      {"Add to cart below Blue Backpack", 1, "Add to cart A"},
      {"Add to cart below Blue Backpack", nullopt, "Add to cart A"},
      {"link", 2, "Details 2"},
      {"link", 3, "Details 3"},
      {"link", 4, "-"},
      // The target's own ordinal word wins over the instruction's.
      {"first link", 3, "Details 1"},
      // Nothing to say "sixth" with: the ordinal is left out.
      {"link", 6, "-"},
  };
  for (const auto& c : cases) EXPECT_EQ(page.pick(c.target, c.ordinal), c.expected) << c.target << " " << c.ordinal.value_or(0);
  EXPECT_EQ(page.result("Add to cart below Blue Backpack", 2).ordinal, 2);
}

}  // namespace
}  // namespace quillfen
