// The substitution against the plain per-position method, same input.
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <vector>

#include "corpus.h"
#include "expand.h"
#include "expand_model.h"

namespace {

const size_t kBytes = 64u << 20;

const std::string& corpus() {
  static const std::string text = make_corpus(kBytes);
  return text;
}

std::vector<std::string_view> arguments() {
  static const std::vector<std::string> owned = corpus_arguments();
  return std::vector<std::string_view>(owned.begin(), owned.end());
}

void BM_Expand(benchmark::State& state) {
  for (auto _ : state) {
    g_autoptr(GString) output = expand(corpus(), arguments());
    benchmark::DoNotOptimize(output->str);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus().size()));
}

void BM_PerPositionModel(benchmark::State& state) {
  for (auto _ : state) {
    std::string output = expand_model(corpus(), arguments());
    benchmark::DoNotOptimize(output.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus().size()));
}

BENCHMARK(BM_Expand)->Name("expand")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PerPositionModel)->Name("per_position_model")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
