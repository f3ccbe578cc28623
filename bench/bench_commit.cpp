// The cost of recording a revision as the store grows: Commit of a first
// revision of n small files, Commit of a next revision that changes 1% of
// them, and Load of a store whose newest revision holds n files, for n of
// 1,000, 10,000 and 100,000. Only the measured call is timed; staging the
// index (the change loader's work), restoring the store between iterations
// and freeing the engine afterwards are not. The complexity fit at the end of each family shows how
// the time grows with n; 10x the files should cost at most 12x the time.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/Platform.h"
#include "store/uMyHistory.h"
#include "store/uQuarvEngine.h"

namespace {

using pellmor::TMyFile;
using pellmor::TQuarv_Engine;

namespace fs = std::filesystem;

constexpr uint64_t kDate = 133000000000000000ULL;

// A store folder of its own under the system's temporary folder, removed at the end.
class ScratchRoot {
 public:
  ScratchRoot() {
    std::string pattern = (fs::temp_directory_path() / "pellmor-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create " + pattern);
    path_ = pattern;
  }
  ~ScratchRoot() { fs::remove_all(path_); }

  std::string Root() const { return path_.string() + "/"; }
  std::string Store(const std::string& relative) const { return Root() + ".Quarv/" + relative; }
  // Back to an empty folder.
  void Reset() {
    fs::remove_all(path_);
    fs::create_directories(path_);
  }

 private:
  fs::path path_;
};

std::string FileName(int i) {
  return "src\\module" + std::to_string(i / 100) + "\\unit" + std::to_string(i) + ".pas";
}

// Text-like bytes of 64 to 511 bytes, so that about half of the files are
// stored compressed; generation marks an edited version of the same file.
std::string FileBytes(int i, int generation) {
  const size_t size = 64 + static_cast<size_t>(i * 37 % 448);
  std::string bytes =
      "unit " + std::to_string(i) + "; { generation " + std::to_string(generation) + " }\r\n";
  while (bytes.size() < size)
    bytes += "  Count := Count + " + std::to_string(bytes.size()) + ";\r\n";
  bytes.resize(size);
  return bytes;
}

// Stages a file in the engine's index the way the change loader does.
void Stage(TQuarv_Engine& engine, int i, int generation, uint8_t kind) {
  TMyFile* entry = engine.Index->Files.FindOrAdd(FileName(i));
  const std::string bytes = FileBytes(i, generation);
  entry->Content.Assign(bytes.data(), bytes.size());
  entry->ChangeKind = kind;
  entry->Attributes = pellmor::kAttrNormal;
  entry->LastWriteTime = entry->CreationTime = entry->LastAccessTime = kDate + i;
}

std::unique_ptr<TQuarv_Engine> LoadedEngine(const ScratchRoot& scratch) {
  auto engine = std::make_unique<TQuarv_Engine>(scratch.Root());
  engine->Load();
  return engine;
}

// Records revision 1 with every one of the n files.
void CommitFirstRevision(const ScratchRoot& scratch, int n) {
  auto engine = LoadedEngine(scratch);
  for (int i = 0; i < n; ++i) Stage(*engine, i, 0, pellmor::ckAdded);
  engine->CommitUtc("first", "bench", kDate, "bench@example.org");
}

// Times measure(engine) once an iteration, after prepare() has made the
// engine untimed; an iteration's engine is freed, untimed, at the start of
// the next one.
template <typename Prepare, typename Measure>
void TimeEach(benchmark::State& state, int n, Prepare prepare, Measure measure) {
  std::unique_ptr<TQuarv_Engine> engine;
  for (auto _ : state) {
    state.PauseTiming();
    engine.reset();
    engine = prepare();
    state.ResumeTiming();
    measure(engine);
  }
  state.SetComplexityN(n);
  state.counters["files"] = n;
}

void BM_CommitFirstRevision(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  ScratchRoot scratch;
  TimeEach(
      state, n,
      [&] {
        scratch.Reset();
        auto engine = LoadedEngine(scratch);
        for (int i = 0; i < n; ++i) Stage(*engine, i, 0, pellmor::ckAdded);
        return engine;
      },
      [](auto& engine) { engine->CommitUtc("first", "bench", kDate, "bench@example.org"); });
}

void BM_CommitNextRevision(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  ScratchRoot scratch;
  CommitFirstRevision(scratch, n);
  TimeEach(
      state, n,
      [&] {
        // Back to a store of revision 1 only (its NextNumber is patched to 2
        // again by every Commit).
        pellmor::RemoveFile(scratch.Store("Objects/2.dat"));
        pellmor::TMyHistoryData history;
        history.Add("1.dat", 1);
        history.SaveToFile(scratch.Store("History.txt"));
        auto engine = LoadedEngine(scratch);
        for (int k = 0; k < n / 100; ++k) Stage(*engine, k * 100 + 7, 1, pellmor::ckModified);
        return engine;
      },
      [](auto& engine) { engine->CommitUtc("next", "bench", kDate + 1, "bench@example.org"); });
}

void BM_LoadStore(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  ScratchRoot scratch;
  CommitFirstRevision(scratch, n);
  TimeEach(
      state, n, [] { return std::unique_ptr<TQuarv_Engine>(); },
      [&](auto& engine) { engine = LoadedEngine(scratch); });
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond);
  b->Complexity(benchmark::oNLogN);
  // On a shared machine other work only ever adds time: with
  // --benchmark_repetitions the fastest run is the steadiest figure.
  b->ComputeStatistics(
      "min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

BENCHMARK(BM_CommitFirstRevision)->Apply(Sizes);
BENCHMARK(BM_CommitNextRevision)->Apply(Sizes);
BENCHMARK(BM_LoadStore)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
