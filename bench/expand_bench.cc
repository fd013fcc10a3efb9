// The substitution on the benchmark corpus: the matcher of today against the
// one before it and the plain per-position method. The two matchers write
// into the same kind of sink, whose flushes only count the bytes: what is
// timed is the substitution, not where its output goes.
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <vector>

#include "corpus.h"
#include "expand_model.h"
#include "expander.h"
#include "first_byte_matcher.h"
#include "name_sets.h"

namespace {

const size_t kBytes = 64u << 20;
const size_t kPiece = 128u << 10;

const std::string& corpus() {
  static const std::string text = make_corpus(kBytes);
  return text;
}

const std::vector<std::string>& owned_arguments() {
  static const std::vector<std::string> owned = corpus_arguments();
  return owned;
}

void count(void* total, const char* data, size_t size) {
  benchmark::DoNotOptimize(data);
  *static_cast<size_t*>(total) += size;
}

void count_bytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus().size()));
}

void BM_Expander(benchmark::State& state) {
  std::vector<const char*> arguments;
  for (const std::string& a : owned_arguments())
    arguments.push_back(a.c_str());
  for (auto _ : state) {
    size_t total = 0;
    Expander expander(arguments.data(), arguments.size());
    Sink sink(kPiece, count, &total);
    for (size_t at = 0; at < corpus().size(); at += kPiece)
      expander.feed(corpus().data() + at, std::min(kPiece, corpus().size() - at), sink);
    expander.finish(sink);
    sink.flush();
    benchmark::DoNotOptimize(total);
  }
  count_bytes(state);
}

void BM_FirstByteMatcher(benchmark::State& state) {
  std::vector<std::string_view> arguments(owned_arguments().begin(), owned_arguments().end());
  for (auto _ : state) {
    size_t total = 0;
    Sink sink(kPiece, count, &total);
    first_byte_expand(corpus(), arguments, sink);
    sink.flush();
    benchmark::DoNotOptimize(total);
  }
  count_bytes(state);
}

void BM_PerPositionModel(benchmark::State& state) {
  std::vector<std::string_view> arguments(owned_arguments().begin(), owned_arguments().end());
  for (auto _ : state) {
    std::string text = expand_model(corpus(), arguments);
    benchmark::DoNotOptimize(text.data());
  }
  count_bytes(state);
}

// What the program builds from its arguments before it reads the template.
void BM_Build(benchmark::State& state, const char* shape) {
  NameSet set;
  make_name_set(shape, 0, &set);
  std::vector<const char*> arguments;
  for (const std::string& a : set.arguments)
    arguments.push_back(a.c_str());
  for (auto _ : state) {
    Expander expander(arguments.data(), arguments.size());
    benchmark::DoNotOptimize(&expander);
  }
}

// The substitution alone on 32 MiB of each shape, into a sink that counts;
// the way chosen, or backwards all the time.
void name_set(benchmark::State& state, const char* shape, Expander::Way way) {
  NameSet set;
  make_name_set(shape, 32u << 20, &set);
  std::vector<const char*> arguments;
  for (const std::string& a : set.arguments)
    arguments.push_back(a.c_str());
  for (auto _ : state) {
    size_t total = 0;
    Expander expander(arguments.data(), arguments.size(), way);
    Sink sink(kPiece, count, &total);
    for (size_t at = 0; at < set.text.size(); at += kPiece)
      expander.feed(set.text.data() + at, std::min(kPiece, set.text.size() - at), sink);
    expander.finish(sink);
    sink.flush();
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set.text.size()));
}

void BM_NameSet(benchmark::State& state, const char* shape) {
  name_set(state, shape, Expander::Way::kEither);
}

void BM_Backwards(benchmark::State& state, const char* shape) {
  name_set(state, shape, Expander::Way::kBackwards);
}

BENCHMARK_CAPTURE(BM_Backwards, var20, "var20")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Backwards, ident1500, "ident1500")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Backwards, near1000, "near1000")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Backwards, prefix1000, "prefix1000")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NameSet, var20, "var20")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NameSet, diverse20, "diverse20")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NameSet, ident1500, "ident1500")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NameSet, words1000, "words1000")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NameSet, words10000, "words10000")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NameSet, near1000, "near1000")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NameSet, prefix1000, "prefix1000")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NameSet, all_at, "all-at")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NameSet, lengths10, "lengths10")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NameSet, lengths100, "lengths100")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NameSet, long64k, "long64k")->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(BM_Build, var10, "var10")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Build, ident1500, "ident1500")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Build, words1000, "words1000")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Build, words10000, "words10000")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Expander)->Name("expander")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstByteMatcher)->Name("first_byte_matcher")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PerPositionModel)->Name("per_position_model")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
