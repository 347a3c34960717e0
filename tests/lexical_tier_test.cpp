#include "engine/strategies/lexical_tier.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

namespace quillfen {
namespace {

using namespace lexical_tier;

Element make(ElementRecord record) { return std::make_shared<ElementRecord>(std::move(record)); }

Element at(std::string tag, std::string text, double x, double y, double w = 50, double h = 20,
           std::string xpath = "/html/body/div/span", bool visible = true) {
  return make({.tag = std::move(tag), .text = std::move(text), .bounding_box = BoundingBox{x, y, w, h},
               .is_visible = visible, .is_enabled = true, .xpath = std::move(xpath)});
}

ParsedInstruction step(std::string action, std::string target, int ordinal = 1) {
  return {.action = std::move(action), .target = std::move(target), .ordinal = ordinal};
}

TEST(LexicalTier, SurfacesComeFromTextAttributesAndNameWords) {
  const ElementRecord e{.text = "Go",
                        .attributes = {{"class", "btn btn-primary shopping_cart_link css-1x2y3z jss42"},
                                       {"id", "user_name_2"}, {"_label", "Username"}, {"type", "submit"},
                                       {"data-login-submit", "x"}, {"data-v-7ba5bd90", ""},
                                       {"data-testid", "go"}}};
  EXPECT_EQ(_searchable_strings(e), (std::vector<std::string>{"Go", "go", "submit", "btn primary shopping cart link",
                                                               "user name", "login submit"}));
  EXPECT_EQ(_searchable_strings(e, true)[1], "Username");
  EXPECT_TRUE(_searchable_strings({.attributes = {{"class", "nav jss42"}}}).empty());

  const struct { const char* in; const char* out; } strip[] = {
      {"search input", "search"}, {"Submit Button Link", "Submit"}, {"the login button", "the login"},
      {"button", "button"}, {"input field", "input field"}, {"  ", "  "}, {"BUTTON  Log\u00a0 in", "Log in"}};
  for (const auto& c : strip) EXPECT_EQ(_strip_type_descriptors(c.in), c.out) << c.in;
}

TEST(LexicalTier, MatchingIgnoresUnicodeCaseAndTrimsForExactness) {
  const ElementRecord about{.text = "über uns"};
  EXPECT_TRUE(_exact_matches_element("ÜBER UNS", about));
  EXPECT_TRUE(_exact_matches_element("login", {.text = "\u00a0 Login \n"}));
  EXPECT_FALSE(_exact_matches_element("login", {.text = "Login now"}));
  EXPECT_TRUE(_matches_element("login", {.text = "Login now"}));
  EXPECT_TRUE(_matches_element("password", {.tag = "input", .attributes = {{"type", "password"}}}));
  // The label helps only when asked for (typing).
  const ElementRecord field{.tag = "input", .attributes = {{"_label", "Username"}}};
  EXPECT_FALSE(_matches_element("user", field));
  EXPECT_TRUE(_matches_element("user", field, true));
}

TEST(LexicalTier, HyphenatedTargetsMatchSurfacesAsWrittenAndAsWords) {
  const ElementRecord cart{.attributes = {{"class", "shopping_cart_link"}}};
  for (const char* target : {"cart", "shopping cart", "shopping_cart", "shopping-cart"}) {
    EXPECT_TRUE(_matches_element(target, cart)) << target;
  }
  EXPECT_TRUE(_matches_element("shopping-cart", {.text = "shopping-cart"}));
  EXPECT_TRUE(_exact_matches_element("Bolt T-Shirt", {.text = " Bolt T-Shirt "}));
  EXPECT_TRUE(_exact_matches_element("e-mail", {.attributes = {{"aria-label", "E-mail"}}}));

  const Elements page{at("button", "Bolt T-Shirt Deluxe", 0, 0), at("button", "Bolt T-Shirt", 0, 50)};
  const auto r = LexicalTier().resolve(step("click", "Bolt T-Shirt"), page);
  EXPECT_EQ(r.element, page[1]);
  EXPECT_EQ(r.candidates, Elements{page[1]});
}

TEST(LexicalTier, FilterKeepsTypeableOrSelectableElementsWhenThereAreAny) {
  const Elements page{make({.tag = "button"}), make({.tag = "textarea"}),
                      make({.tag = "div", .attributes = {{"role", "searchbox"}}}),
                      make({.tag = "div", .is_editable_field = true}), make({.tag = "select"})};
  EXPECT_EQ(_filter_by_action("type", page), (Elements{page[1], page[2], page[3]}));
  EXPECT_EQ(_filter_by_action("select", page), Elements{page[4]});
  EXPECT_EQ(_filter_by_action("Select", page), page);
  EXPECT_EQ(_filter_by_action("type", {page[0], page[4]}), (Elements{page[0], page[4]}));
}

TEST(LexicalTier, ElementMatchingPrefersVisibleThenExactThenReadingOrder) {
  const LexicalTier tier;
  const Elements login{at("a", "Login now", 0, 0), at("button", "Login", 0, 100)};
  EXPECT_EQ(tier.resolve(step("click", "login button"), login).candidates, Elements{login[1]});

  const Elements hidden_exact{at("button", "Sign in", 0, 0, 50, 20, "", false), at("a", "Sign in here", 0, 50)};
  EXPECT_EQ(tier.resolve(step("click", "Sign in"), hidden_exact).element, hidden_exact[1]);

  const Elements carts{at("button", "Add to cart", 300, 300), at("button", "Add to cart", 200, 100),
                       at("button", "Add to cart", 100, 100)};
  const struct { int ordinal; std::size_t picked; } picks[] = {{1, 2}, {2, 1}, {3, 0}, {5, 0}};
  for (const auto& c : picks) {
    EXPECT_EQ(tier.resolve(step("click", "add to cart", c.ordinal), carts).element, carts[c.picked]) << c.ordinal;
  }

  // An ordinal of 0 or less counts back from the end of the matches ordered by length.
  const Elements lengths{at("a", "Total due", 0, 0), at("a", "Total", 0, 10), at("a", "Totals", 0, 20)};
  EXPECT_EQ(tier.resolve(step("click", "tot", 0), lengths).element, lengths[0]);
  EXPECT_EQ(tier.resolve(step("click", "tot", -1), lengths).element, lengths[2]);
  EXPECT_EQ(tier.resolve(step("click", "tot", -2), lengths).element, lengths[1]);
  EXPECT_EQ(tier.resolve(step("click", "total", 0), lengths).candidates, Elements{lengths[1]});
  EXPECT_THROW(tier.resolve(step("click", "tot", -3), lengths), std::out_of_range);

  // 'click fifth': the empty target matches every element that has a surface.
  EXPECT_EQ(tier.resolve(step("click", "", 5), carts).element, carts[0]);
  EXPECT_FALSE(tier.resolve(step("click", "", 1), {make({.tag = "div", .is_visible = true})}).resolved);
}

TEST(LexicalTier, ActionsChooseThePoolAndTheUseOfLabels) {
  const LexicalTier tier;
  const Elements form{make({.tag = "input", .attributes = {{"_label", "Password"}}, .is_visible = true}),
                      make({.tag = "input", .text = "Country", .is_visible = true}),
                      make({.tag = "select", .text = "Country", .is_visible = true})};
  EXPECT_EQ(tier.resolve(step("type", "Password"), form).element, form[0]);
  EXPECT_FALSE(tier.resolve(step("click", "Password"), form).resolved);
  EXPECT_EQ(tier.resolve(step("select", "Country"), form).candidates, Elements{form[2]});

  const Elements texts{at("span", "Order total", 0, 0)};
  const Elements none_match{at("button", "Pay", 0, 0)};
  EXPECT_EQ(tier.resolve(step("extract_text", "total"), none_match, &texts).element, texts[0]);
  EXPECT_FALSE(tier.resolve(step("click", "total"), none_match, &texts).resolved);
  const Elements hidden{at("p", "Total", 0, 0, 10, 10, "", false)};
  EXPECT_EQ(tier.resolve(step("extract_text", "total"), hidden, &texts).element, hidden[0]);
}

TEST(LexicalTier, FindTextAndFindExactText) {
  const LexicalTier tier;
  const Elements totals{make({.text = "Order total: $29.00"}), make({.text = "Total"})};
  EXPECT_EQ(tier._resolve_find_text("TOTAL", totals).candidates, (Elements{totals[1], totals[0]}));

  const Elements texts{make({.text = "Subtotal"}), make({.text = "Total "})};
  const auto exact = tier._resolve_find_exact_text("Total", texts);
  EXPECT_EQ(exact.element, texts[1]);
  EXPECT_EQ(exact.candidates, (Elements{texts[1], texts[0], texts[1]}));
  const auto miss = tier._resolve_find_exact_text("Tot", texts);
  EXPECT_FALSE(miss.resolved);
  EXPECT_EQ(miss.candidates, (Elements{texts[1], texts[0]}));
  EXPECT_FALSE(tier.resolve({.action = "find_text", .target = "Total"}, texts).resolved);
}

TEST(LexicalTier, VerificationReportsTheStateOfTheShortestMatch) {
  const LexicalTier tier;
  const Elements page{make({.tag = "button", .text = "Login", .is_visible = true, .is_enabled = true}),
                      make({.tag = "button", .text = "Log", .is_visible = false, .is_enabled = true}),
                      make({.tag = "button", .text = "Checkout", .is_visible = true})};
  const auto disabled = tier._resolve_verify("verify_disabled", "Checkout button", page);
  EXPECT_EQ(to_json(disabled).dump(),
            R"({"resolved":true,"verified":true,"confidence":1.0,"element":)" + to_json(*page[2]).dump() +
                R"(,"state":{"present":true,"visible":true,"enabled":false},"candidates":[)" +
                to_json(*page[2]).dump() + "]}");
  const auto visible = tier.resolve({.action = "verify_visible", .target = "Log"}, page);
  EXPECT_EQ(visible.element, page[1]);
  EXPECT_FALSE(*visible.verified);
  const auto missing = tier._resolve_verify("verify_visible", "Promo", page);
  EXPECT_FALSE(missing.resolved || *missing.verified);
  EXPECT_EQ(*missing.state, Json::object());
  EXPECT_THROW(tier._resolve_verify("verify_text_present", "Log", page), std::invalid_argument);

  const Elements texts{make({.text = "Thank you for your order!", .is_visible = true})};
  EXPECT_TRUE(*tier._resolve_verify_text("verify_text_visible", "THANK YOU", texts).verified);
  EXPECT_FALSE(tier._resolve_verify_text("verify_text_present", "thank_you", texts).resolved);
}

TEST(LexicalTier, DirectionalVerificationNormalisesAmounts) {
  const LexicalTier tier;
  const Elements texts{at("span", "Potential Returns\n(estimated)", 100, 500, 200, 20, "/html/body/div[2]/span[1]"),
                       at("span", "$29.00", 375, 500, 50, 20, "/html/body/div[2]/span[2]")};
  const struct { const char* expected; bool verified; } cases[] = {
      {"$29.00", true}, {"29", true}, {"29.00 USD", true}, {"30.00", false}, {"$", false}};
  for (const auto& c : cases) {
    const auto r = tier._resolve_verify_spatial_text("next to Potential Returns", c.expected, texts);
    EXPECT_EQ(*r.verified, c.verified) << c.expected;
    EXPECT_EQ(r.element, texts[1]);
    EXPECT_EQ((*r.state)["actual"], "$29.00");
  }
  const Elements thousands{at("td", "Total", 0, 0), at("td", "1299.00", 100, 0)};
  EXPECT_TRUE(*tier._resolve_verify_spatial_text("right of the Total", "$1,299.00", thousands).verified);
  // A cell that normalises to nothing verifies nothing.
  for (const char* actual : {"€", ",", " $ "}) {
    const Elements bare{at("td", "Total", 0, 0), at("td", actual, 100, 0)};
    EXPECT_FALSE(*tier._resolve_verify_spatial_text("next to Total", "$29.00", bare).verified) << actual;
  }
  // Direction phrases are found case-blind and cut by characters, not bytes.
  EXPECT_EQ(tier._resolve_verify_spatial_text("R\u0130GHT OF total", "1299", thousands).element, thousands[1]);

  const auto near = tier.resolve({.action = "verify_spatial_text", .target = "near Total", .value = "1"}, {}, &thousands);
  EXPECT_EQ(to_json(near).dump(), R"({"resolved":false,"verified":false,"confidence":0.0,"element":null,)"
                                   R"("state":{"expected":"1"},"candidates":[]})");
  EXPECT_EQ((*tier._resolve_verify_spatial_text("above the Totals", "1", thousands).state)["actual"],
            "anchor 'Totals' not found");
  const auto nothing = tier._resolve_verify_spatial_text("left of Total", "1", thousands);
  EXPECT_TRUE(nothing.resolved && nothing.candidates.empty() && !*nothing.verified);
  EXPECT_EQ(nothing.element, thousands[0]);
  EXPECT_EQ((*nothing.state)["actual"], "no element left of 'Total'");
}

TEST(LexicalTier, DirectionalSearchGeometryAndTreeDistance) {
  const LexicalTier tier;
  // Anchor rows 0..20: a centre on the bottom edge counts, one pixel lower does not.
  const Elements band{at("td", "Total", 0, 0, 50, 20, "/t/a"), at("td", "edge", 300, 10, 50, 20, "/t/b"),
                      at("td", "near but low", 100, 11, 50, 20, "/t/c")};
  EXPECT_EQ(tier._resolve_extract_spatial_text("next to Total", band).extracted, "edge");

  // The smaller of two anchors wins; equal distances keep list order; a non-text tag is skipped.
  const Elements below{at("div", "Total", 0, 0, 100, 20, "/b/d"), at("p", "Total", 0, 0, 50, 10, "/b/p"),
                       at("button", "skip", 0, 20, 50, 10, "/b/x"), at("span", "first", 10, 20, 30, 10, "/b/s1"),
                       at("span", "second", 20, 20, 20, 10, "/b/s2")};
  const auto r = tier._resolve_extract_spatial_text("under total", below);
  EXPECT_EQ(r.candidates, (Elements{below[0], below[3], below[4]}));

  // Beyond ten tree steps from a text anchor an answer is ignored; an interactable anchor
  // does not limit the distance.
  const std::string deep = "/html/body/div/a/b/c/d/e/f/g/h/span";
  const Elements texts{at("span", "Total", 0, 0, 50, 20, "/html/body/p"), at("span", "far", 100, 0, 50, 20, deep),
                       at("span", "close", 200, 0, 50, 20, "/html/body/div/a/b/c/d/e/f/g/span")};
  EXPECT_EQ(_dom_distance("/html/body/p", deep), 11);
  EXPECT_EQ(_dom_distance("/html/body/p", texts[2]->xpath), 10);
  EXPECT_EQ(tier._resolve_extract_spatial_text("next to Total", texts).extracted, "close");
  const Elements rest{texts[1], texts[2]};
  const Elements dom{make({.tag = "button", .attributes = {{"aria-label", "total"}},
                           .bounding_box = BoundingBox{0, 0, 50, 20}, .xpath = "/html/body/p"})};
  EXPECT_EQ(tier._resolve_extract_spatial_text("next to Total", rest, &dom).extracted, "far");

  // Found anchor, nothing in the direction: nothing was extracted.
  const auto none = tier.resolve({.action = "extract_text_spatial", .target = "above Total"}, dom, &rest);
  EXPECT_EQ(to_json(none).dump(), R"({"resolved":false,"confidence":0.0,"element":null,"extracted":"","candidates":[]})");

  const struct { const char* a; const char* b; int steps; } distances[] = {
      {"/html/body/div[2]/span", "/html/body/div[2]/p", 2}, {"/html/body", "/html/body/div/", 1},
      {"/a/b", "/a/b", 0}, {"", "", 0}, {"/a/x/c", "/a/y/c", 4}, {"", "/html", 2}};
  for (const auto& d : distances) EXPECT_EQ(_dom_distance(d.a, d.b), d.steps) << d.a << " " << d.b;
}

}  // namespace
}  // namespace quillfen
