// The change loader's Compare on a working folder of 10,000 files (about
// 200 MB, half text, half binary) after a first revision that records it:
// once unchanged, once with 1% of the files changed by one byte. The floor,
// measured in the same run on the same files, is a minimal loop that reads
// each file into one buffer and hashes it (SHA-256) on one thread; the goal
// is Compare within 1.3x of the floor. Files are read from the page cache in
// every case.
//
// Only Compare is timed: the engine is loaded once, and each iteration's
// loader is created and prepared outside the timing. Compare reads and
// hashes on worker threads besides its own, so its elapsed time depends on
// the free cores; cpu_ms, the CPU time of all threads, shows the work done.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundation/Platform.h"
#include "foundation/uMyHash.h"
#include "scan/WatchedListings.h"
#include "scan/WorkingDigestCache.h"
#include "scan/uQuarvLoader.h"
#include "store/uQuarvEngine.h"

namespace {

namespace fs = std::filesystem;
using pellmor::TQuarv_Engine;
using pellmor::TQuarvEngine_Loader;

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 100;
constexpr int kFiles = kFolders * kFilesPerFolder;
constexpr int kChangedEvery = 100;  // 1% of the files

// The working folder with its first revision, built once per run and
// removed at the end.
class Workspace {
 public:
  Workspace() {
    std::string pattern = (fs::temp_directory_path() / "pellmor-bench-compare-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create " + pattern);
    root_ = pattern + "/";
    std::mt19937 random(7);
    for (int i = 0; i < kFiles; ++i) {
      const std::string path = root_ + "dir" + std::to_string(i / kFilesPerFolder) + "/file" +
                               std::to_string(i) + (i % 2 == 0 ? ".txt" : ".bin");
      fs::create_directories(fs::path(path).parent_path());
      // 1 KiB to 39 KiB, about 20 KiB on average.
      const size_t size = 1024 + static_cast<size_t>(random() % (38 * 1024));
      std::string bytes;
      bytes.reserve(size);
      if (i % 2 == 0) {
        while (bytes.size() < size)
          bytes += "  Total := Total + Item[" + std::to_string(random() % 100000) + "];\r\n";
        bytes.resize(size);
      } else {
        for (size_t k = 0; k < size; ++k) bytes += static_cast<char>(random());
      }
      Write(path, bytes);
      paths_.push_back(path);
      bytes_ += static_cast<int64_t>(size);
    }
    RecordFirstRevision();
    engine_ = std::make_unique<TQuarv_Engine>(root_);
    engine_->Load();
  }
  ~Workspace() { fs::remove_all(root_); }

  const std::vector<std::string>& Paths() const { return paths_; }
  int64_t Bytes() const { return bytes_; }
  TQuarv_Engine& Engine() { return *engine_; }

  // Changes (or restores) one byte in the middle of every 100th file; in a
  // text file, a letter within a line.
  void ToggleOnePercent() {
    for (int i = 0; i < kFiles; i += kChangedEvery) {
      std::string bytes = Read(paths_[i]);
      size_t at = bytes.size() / 2;
      if (i % 2 == 0) at = bytes.find("Total", at);
      bytes[at] = static_cast<char>(bytes[at] ^ 0x20);
      Write(paths_[i], bytes);
    }
  }

 private:
  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
  }
  static std::string Read(const std::string& path) {
    pellmor::TMemoryStream content;
    pellmor::ReadFileContent(path, content);
    return std::string(reinterpret_cast<const char*>(content.Memory()),
                       static_cast<size_t>(content.Size()));
  }
  void RecordFirstRevision() {
    TQuarv_Engine engine(root_);
    engine.Load();
    TQuarvEngine_Loader loader(engine);
    loader.Prepare(false);
    loader.IgnoreList.AddPattern(".git");
    loader.Compare();
    pellmor::TChangeRefList all = loader.ChangeRefs();
    loader.ApplyChanges(all);
    engine.CommitUtc("first", "bench", 133000000000000000ULL, "");
  }

  std::string root_;
  std::vector<std::string> paths_;
  int64_t bytes_ = 0;
  std::unique_ptr<TQuarv_Engine> engine_;
};

Workspace& Folder() {
  static Workspace workspace;
  return workspace;
}

// CPU time of the whole process (every thread), in milliseconds.
double ProcessCpuMs() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// cpu_ms: the process's CPU time per iteration over all threads, a figure
// that other load on the machine disturbs less than the elapsed time.
void Report(benchmark::State& state, double cpuMs) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * Folder().Bytes());
  state.counters["files"] = kFiles;
  state.counters["cpu_ms"] = benchmark::Counter(cpuMs, benchmark::Counter::kAvgIterations);
}

// Each file opened, read whole into one reused buffer and hashed.
void BM_FloorReadAndHash(benchmark::State& state) {
  const std::vector<std::string>& paths = Folder().Paths();  // built before the timing
  std::vector<uint8_t> buffer(64 * 1024);
  const double cpuStart = ProcessCpuMs();
  for (auto _ : state) {
    for (const std::string& path : paths) {
      const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) {
        state.SkipWithError("cannot open a file");
        return;
      }
      size_t total = 0;
      for (;;) {
        if (total == buffer.size()) buffer.resize(buffer.size() * 2);
        const ssize_t n = ::read(fd, buffer.data() + total, buffer.size() - total);
        if (n <= 0) break;
        total += static_cast<size_t>(n);
      }
      ::close(fd);
      pellmor::TContentDigest digest;
      pellmor::HashBuffer(buffer.data(), total, digest);
      benchmark::DoNotOptimize(digest);
    }
  }
  Report(state, ProcessCpuMs() - cpuStart);
}

// digests and listings: a conversion run's, kept across the iterations as
// across its commits; none for a Compare on its own.
void RunCompare(benchmark::State& state, size_t expectedChanges,
                pellmor::TWorkingDigestCache* digests = nullptr,
                pellmor::TWatchedListings* listings = nullptr) {
  TQuarv_Engine& engine = Folder().Engine();
  double cpuMs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto loader = std::make_unique<TQuarvEngine_Loader>(engine, digests, listings);
    loader->Prepare(false);
    loader->IgnoreList.AddPattern(".git");
    state.ResumeTiming();
    const double cpuStart = ProcessCpuMs();
    loader->Compare();
    cpuMs += ProcessCpuMs() - cpuStart;
    state.PauseTiming();
    if (static_cast<size_t>(loader->Changes.Count()) != expectedChanges) {
      state.SkipWithError("unexpected number of changes");
      return;
    }
    loader.reset();
    state.ResumeTiming();
  }
  Report(state, cpuMs);
}

void BM_CompareUnchanged(benchmark::State& state) { RunCompare(state, 0); }

// A conversion run's comparison of a commit that changed nothing: the
// digests and listings of the earlier comparisons vouch for every file, so
// what is left is the walk over the folder's entries.
void BM_CompareUnchangedInRun(benchmark::State& state) {
  pellmor::TWorkingDigestCache digests;
  pellmor::TWatchedListings listings;
  RunCompare(state, 0, &digests, &listings);
}

void BM_CompareOnePercentChanged(benchmark::State& state) {
  Folder().ToggleOnePercent();
  RunCompare(state, kFiles / kChangedEvery);
  Folder().ToggleOnePercent();
}

// A shared machine disturbs single runs: each benchmark is repeated, and the
// minimum beside the mean is the figure to hold against the floor's minimum.
void Configure(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Repetitions(5)
      ->ReportAggregatesOnly(true)
      ->ComputeStatistics("min", [](const std::vector<double>& v) {
        return *std::min_element(v.begin(), v.end());
      });
}

BENCHMARK(BM_FloorReadAndHash)->Apply(Configure);
BENCHMARK(BM_CompareUnchanged)->Apply(Configure);
BENCHMARK(BM_CompareUnchangedInRun)->Apply(Configure);
BENCHMARK(BM_CompareOnePercentChanged)->Apply(Configure);

}  // namespace

BENCHMARK_MAIN();
