// Building the spatial matrix and resolving one instruction over it, on a product grid
// of the given number of records: per product a name and a price (text records), an
// "Add to cart" button and a "Details" link, four products to a row, rows 48 pixels
// apart.
#include "engine/spatial/layout_mapper.hpp"
#include "engine/spatial/relation_solver.hpp"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using namespace quillfen;

Element record(std::string tag, std::string text, double x, double y, double w, double h, std::string xpath) {
  auto e = std::make_shared<ElementRecord>();
  e->tag = std::move(tag);
  e->text = std::move(text);
  e->bounding_box = BoundingBox{x, y, w, h, false};
  e->is_visible = true;
  e->is_enabled = true;
  e->xpath = std::move(xpath);
  return e;
}

struct Grid {
  Elements dom;
  Elements texts;
};

// `records` records, a quarter of them per kind.
Grid grid(int records) {
  Grid g;
  const int products = records / 4;
  for (int i = 0; i < products; ++i) {
    const double x = 20 + 300.0 * (i % 4);
    const double y = 100 + 48.0 * (i / 4);
    const std::string item = "/html[1]/body[1]/main[1]/ul[1]/li[" + std::to_string(i + 1) + "]";
    g.texts.push_back(record("span", "Product " + std::to_string(i), x, y, 120, 20, item + "/span[1]"));
    g.texts.push_back(record("span", "$" + std::to_string(i % 90 + 10) + ".99", x + 130, y, 50, 20, item + "/span[2]"));
    auto add = record("button", "Add to cart", x + 190, y - 6, 90, 32, item + "/button[1]");
    add->attributes.set("aria-label", "Add Product " + std::to_string(i) + " to cart");
    g.dom.push_back(add);
    g.dom.push_back(record("a", "Details", x, y + 22, 60, 16, item + "/a[1]"));
  }
  return g;
}

ParsedInstruction click(std::string target, int ordinal = 1) {
  ParsedInstruction p;
  p.action = "click";
  p.target = std::move(target);
  p.ordinal = ordinal;
  return p;
}

void BM_Build(benchmark::State& state) {
  const Grid g = grid(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Matrix m = LayoutMapper(g.dom, g.texts).build();
    benchmark::DoNotOptimize(m.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// One relational resolution: anchor search over every entry, candidates narrowed by
// their normalised text, ranking on the anchor's row.
void BM_ResolveNextTo(benchmark::State& state) {
  const int records = static_cast<int>(state.range(0));
  const Grid g = grid(records);
  const RelationSolver solver(LayoutMapper(g.dom, g.texts).build());
  const ParsedInstruction p = click("Add to cart next to Product " + std::to_string(records / 4 - 3));
  for (auto _ : state) {
    ResolutionResult r = solver.resolve(p);
    if (!r.resolved) state.SkipWithError("not resolved");
    benchmark::DoNotOptimize(r);
  }
}

// One ordinal resolution: the exact-text and normalised pools over every entry.
void BM_ResolveOrdinal(benchmark::State& state) {
  const Grid g = grid(static_cast<int>(state.range(0)));
  const RelationSolver solver(LayoutMapper(g.dom, g.texts).build());
  const ParsedInstruction p = click("Details", 5);
  for (auto _ : state) {
    ResolutionResult r = solver.resolve(p);
    if (!r.resolved) state.SkipWithError("not resolved");
    benchmark::DoNotOptimize(r);
  }
}

BENCHMARK(BM_Build)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ResolveNextTo)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ResolveOrdinal)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
