// The text comparer on source-like files: with 10 scattered changed lines and
// with every line changed. Threshold 50 is what change detection uses and is
// run at several file lengths, so that the fitted complexity shows whether the
// time stays near linear in the line count; threshold 0 (longest run) is shown
// at 100,000 lines for comparison.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "foundation/uMyDiff.h"

namespace {

// Source-like lines: mostly distinct statements, with the blank lines and
// block ends that real files repeat.
pellmor::TStringList SourceLines(int count) {
  std::mt19937 random(4);
  pellmor::TStringList lines;
  lines.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const unsigned kind = random() % 20;
    if (kind == 0)
      lines.emplace_back();
    else if (kind == 1)
      lines.emplace_back("  end;");
    else
      lines.push_back("    Statement" + std::to_string(random() % 5000) + "(Item" +
                      std::to_string(i) + ", " + std::to_string(random() % 100) + ");");
  }
  return lines;
}

pellmor::TStringList ScatteredChanges(pellmor::TStringList lines) {
  const size_t step = lines.size() / 10;
  for (size_t k = 0; k < 10; ++k) lines[k * step + step / 3] += " // changed";
  return lines;
}

pellmor::TStringList EverythingChanged(pellmor::TStringList lines) {
  for (auto& line : lines) line = "{v2} " + line;
  return lines;
}

// range(0): lines per file; range(1): MatchThreshold.
template <typename Edit>
void Run(benchmark::State& state, Edit edit) {
  const pellmor::TStringList first = SourceLines(static_cast<int>(state.range(0)));
  const pellmor::TStringList second = edit(first);
  pellmor::TStandardTextComparer comparer;
  for (auto _ : state) {
    comparer.Clear();
    comparer.MatchThreshold = static_cast<int32_t>(state.range(1));
    comparer.Compare(first, second);
  }
  state.SetComplexityN(state.range(0));
  state.counters["differences"] = comparer.Count();
}

void BM_TenScatteredChanges(benchmark::State& state) { Run(state, ScatteredChanges); }
void BM_EverythingChanged(benchmark::State& state) { Run(state, EverythingChanged); }

void LineCounts(benchmark::internal::Benchmark* bench) {
  for (int lines : {25000, 50000, 100000, 200000, 400000}) bench->Args({lines, 50});
  bench->Unit(benchmark::kMillisecond)->Complexity();
}

BENCHMARK(BM_TenScatteredChanges)->Apply(LineCounts);
BENCHMARK(BM_EverythingChanged)->Apply(LineCounts);
BENCHMARK(BM_TenScatteredChanges)->Args({100000, 0})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EverythingChanged)->Args({100000, 0})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
