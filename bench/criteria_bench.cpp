// Parses per second of the criteria language: a typical criterion of three comparisons
// and, for scale, one comparison and a long chain. Each iteration parses and frees.
#include <benchmark/benchmark.h>

#include <string>

#include "store/query/criteria.h"

namespace {

void ParseAndFree(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    CriteriaNode* tree = ParseCriteria(text.c_str());
    benchmark::DoNotOptimize(tree);
    if (tree == nullptr) {
      state.SkipWithError("criteria did not parse");
      break;
    }
    FreeCriteriaTree(tree);
  }
  state.SetItemsProcessed(state.iterations());  // items/s = parses per second
}

void BM_ParseThreeComparisons(benchmark::State& state) {
  ParseAndFree(state, "age >= 18 and name = 'smith' or price < 9.5");
}
BENCHMARK(BM_ParseThreeComparisons);

void BM_ParseOneComparison(benchmark::State& state) { ParseAndFree(state, "age >= 18"); }
BENCHMARK(BM_ParseOneComparison);

void BM_ParseChain(benchmark::State& state) {
  std::string text = "c0 = 0";
  for (int i = 1; i < state.range(0); ++i) {
    text += (i % 2 == 0 ? " and c" : " or c") + std::to_string(i) + " = '" + std::to_string(i) + "'";
  }
  ParseAndFree(state, text);
}
BENCHMARK(BM_ParseChain)->Arg(10)->Arg(100)->Arg(1000);

}  // namespace

BENCHMARK_MAIN();
