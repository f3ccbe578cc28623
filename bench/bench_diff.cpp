// The text comparer on two 100,000-line files: with 10 scattered changed
// lines and with every line changed. Threshold 50 is what change detection
// uses; threshold 0 (longest run) is shown for comparison.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "foundation/uMyDiff.h"

namespace {

constexpr int kLines = 100000;

// Source-like lines: mostly distinct statements, with the blank lines and
// block ends that real files repeat.
pellmor::TStringList SourceLines() {
  std::mt19937 random(4);
  pellmor::TStringList lines;
  for (int i = 0; i < kLines; ++i) {
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
  for (int k = 0; k < 10; ++k) lines[static_cast<size_t>(k * kLines / 10 + 4321)] += " // changed";
  return lines;
}

pellmor::TStringList EverythingChanged(pellmor::TStringList lines) {
  for (auto& line : lines) line = "{v2} " + line;
  return lines;
}

void Run(benchmark::State& state, const pellmor::TStringList& second) {
  static const pellmor::TStringList first = SourceLines();
  pellmor::TStandardTextComparer comparer;
  for (auto _ : state) {
    comparer.Clear();
    comparer.MatchThreshold = static_cast<int32_t>(state.range(0));
    comparer.Compare(first, second);
  }
  state.counters["differences"] = comparer.Count();
}

void BM_TenScatteredChanges(benchmark::State& state) {
  Run(state, ScatteredChanges(SourceLines()));
}

void BM_EverythingChanged(benchmark::State& state) {
  Run(state, EverythingChanged(SourceLines()));
}

BENCHMARK(BM_TenScatteredChanges)->Arg(50)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EverythingChanged)->Arg(50)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
