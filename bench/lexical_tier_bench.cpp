// Level-1 resolution over synthetic pages of 1,000 and 10,000 records: a click found by
// its text, a field found by its label, a target that matches nothing (the worst case:
// every surface of every element is built and searched, twice over), and the
// directional verification over text elements.
#include "engine/strategies/lexical_tier.hpp"

#include <benchmark/benchmark.h>

#include <optional>
#include <string>
#include <utility>

namespace {

using quillfen::BoundingBox;
using quillfen::ElementRecord;
using quillfen::Elements;
using quillfen::LexicalTier;
using quillfen::ParsedInstruction;

// A product list: per row a link, a button, an input with a label and a styled div, in
// rows 40 pixels apart. The last row holds the elements the benchmarks look for.
Elements interactable_page(int count) {
  Elements page;
  page.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const int row = i / 4;
    const bool last = i >= count - 4;
    const double x = 100.0 * (i % 4);
    const double y = 40.0 * row;
    const std::string n = std::to_string(row);
    ElementRecord e;
    e.bounding_box = BoundingBox{x, y, 90, 30};
    e.is_visible = true;
    e.is_enabled = true;
    e.xpath = "/html[1]/body[1]/main[1]/div[" + std::to_string(row + 1) + "]/*[" + std::to_string(i % 4 + 1) + "]";
    switch (i % 4) {
      case 0:
        e.tag = "a";
        e.text = "Product " + n + " details";
        e.attributes = {{"href", "/p/" + n}, {"class", "product-link inventory_item_name"}};
        break;
      case 1:
        e.tag = "button";
        e.text = last ? "Place order" : "Add to cart";
        e.attributes = {{"class", "btn btn-primary btn_inventory"}, {"id", "add-to-cart-" + n},
                        {"data-test", "add-" + n}};
        break;
      case 2:
        e.tag = "input";
        e.attributes = {{"type", "text"}, {"_label", last ? "Email address" : "Quantity " + n},
                        {"placeholder", "Qty"}, {"id", "qty_" + n}};
        break;
      default:
        e.tag = "div";
        e.text = "In stock";
        e.attributes = {{"role", "button"}, {"class", "stock-badge css-1x2y3z"}, {"data-stock-state", "ok"}};
        break;
    }
    page.push_back(std::make_shared<ElementRecord>(std::move(e)));
  }
  return page;
}

// A two-column table of labels and amounts, one row per pair of text elements.
Elements text_page(int count) {
  Elements page;
  page.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const int row = i / 2;
    const bool label = i % 2 == 0;
    ElementRecord e;
    e.tag = label ? "th" : "td";
    e.text = label ? "Line " + std::to_string(row) : "$" + std::to_string(row) + ".00";
    e.has_direct_text = true;
    e.bounding_box = BoundingBox{label ? 0.0 : 200.0, 24.0 * row, 150, 20};
    e.is_visible = true;
    e.is_enabled = true;
    e.xpath = "/html[1]/body[1]/table[1]/tbody[1]/tr[" + std::to_string(row + 1) + "]/" +
              (label ? "th[1]" : "td[1]");
    page.push_back(std::make_shared<ElementRecord>(std::move(e)));
  }
  return page;
}

ParsedInstruction instruction(std::string action, std::string target, std::optional<std::string> value = {}) {
  ParsedInstruction parsed;
  parsed.action = std::move(action);
  parsed.target = std::move(target);
  parsed.value = std::move(value);
  return parsed;
}

void run(benchmark::State& state, const ParsedInstruction& parsed, bool expect_resolved) {
  const Elements page = interactable_page(static_cast<int>(state.range(0)));
  const LexicalTier tier;
  for (auto _ : state) {
    const auto result = tier.resolve(parsed, page);
    if (result.resolved != expect_resolved) state.SkipWithError("unexpected resolution");
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ClickByText(benchmark::State& state) {
  run(state, instruction("click", "Place order button"), true);
}

void BM_TypeByLabel(benchmark::State& state) {
  run(state, instruction("type", "email address", "a@b.c"), true);
}

void BM_Miss(benchmark::State& state) {
  run(state, instruction("click", "Sign out of every device"), false);
}

void BM_VerifyNextTo(benchmark::State& state) {
  const auto rows = state.range(0) / 2;
  const Elements texts = text_page(static_cast<int>(state.range(0)));
  const Elements dom;
  const ParsedInstruction verify = instruction("verify_spatial_text", "next to Line " + std::to_string(rows - 1),
                                                "$" + std::to_string(rows - 1) + ".00");
  const LexicalTier tier;
  for (auto _ : state) {
    const auto result = tier.resolve(verify, dom, &texts);
    if (!result.verified.value_or(false)) state.SkipWithError("not verified");
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_ClickByText)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TypeByLabel)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Miss)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_VerifyNextTo)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
