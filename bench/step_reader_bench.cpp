// Parsing and validating a representative mix of instruction lines, and long lines to
// show that the cost grows linearly with the line.
#include "engine/agent/step_reader.hpp"

#include <benchmark/benchmark.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

const std::vector<std::string>& mix() {
  static const std::vector<std::string> lines = {
      R"(type standard_user into "Username")",
      "type secret_sauce into the Password field",
      R"(click "Log in")",
      R"(click second "Add to cart")",
      R"(click first button next to "Sign up")",
      R"(select Price (low to high) from "Sort by")",
      "hover the Details button",
      R"(verify "Products" is present)",
      "Verify The Cart Is Visible",
      R"(verify text next to "Total" is $44.99)",
      "verify text Welcome back is visible",
      R"(extract text below "Blue Backpack")",
      "extract text from second price",
      "find text 1 result for Light",
      "find exact text Showing all products",
      "navigate 'https://shop.example/'",
      "press Enter",
      "sendkeys Control+A",
      "wait 2000",
      "verify dialog says Free shipping on orders over $50",
      "accept dialog",
      "clic\u212A \u00dcBER UNS",
      "tap Submit",             // rejected
      "verify text near Price",  // rejected after trying three verify forms
  };
  return lines;
}

void BM_ParseMix(benchmark::State& state) {
  const quillfen::StepReader reader;
  for (auto _ : state) {
    for (const auto& line : mix()) {
      try {
        benchmark::DoNotOptimize(reader.parse(line));
      } catch (const std::invalid_argument& e) {
        benchmark::DoNotOptimize(e.what());
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(mix().size()));
}
BENCHMARK(BM_ParseMix);

void BM_ValidateMix(benchmark::State& state) {
  const quillfen::StepReader reader;
  for (auto _ : state) benchmark::DoNotOptimize(reader.validate_all(mix()));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(mix().size()));
}
BENCHMARK(BM_ValidateMix);

// A click line with a long quoted name: decoding, unquoting and the literal test.
void BM_ParseLongLine(benchmark::State& state) {
  const quillfen::StepReader reader;
  const std::string line = "click \"" + std::string(static_cast<std::size_t>(state.range(0)), 'x') + "\"";
  for (auto _ : state) benchmark::DoNotOptimize(reader.parse(line));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(line.size()));
}
BENCHMARK(BM_ParseLongLine)->Range(1 << 10, 1 << 20);

}  // namespace

BENCHMARK_MAIN();
