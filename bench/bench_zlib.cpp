// Compression and decompression throughput at level 9 (the store's setting)
// on text-like and on random data, 4 MiB each. Throughput counts the
// uncompressed bytes.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "foundation/uMyStreamUtils.h"

namespace {

constexpr size_t kSize = 4 << 20;

std::string TextLike() {
  static const char* words[] = {"begin", "end;", "if", "then", "else", "procedure", "function",
                                "var", "Result", ":=", "FileName", "Count", "inc(I);", "nil",
                                "Exit;", "raise", "Exception.Create('Index corrupted');"};
  std::mt19937 random(2);
  std::string text;
  while (text.size() < kSize) {
    text.append(static_cast<size_t>(random() % 4) * 2, ' ');
    for (unsigned n = 1 + random() % 6; n > 0; --n) {
      text += words[random() % (sizeof words / sizeof *words)];
      text += ' ';
    }
    text += std::to_string(random() % 1000) + "\r\n";
  }
  text.resize(kSize);
  return text;
}

std::string Random() {
  std::mt19937 random(3);
  std::string bytes(kSize, '\0');
  for (auto& c : bytes) c = static_cast<char>(random());
  return bytes;
}

void Compress(benchmark::State& state, const std::string& input) {
  pellmor::TMemoryStream source, target;
  source.Assign(input.data(), input.size());
  for (auto _ : state) pellmor::CompressMemoryStream(source, target);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
  state.counters["ratio"] = static_cast<double>(target.Size()) / static_cast<double>(input.size());
}

void Decompress(benchmark::State& state, const std::string& input) {
  pellmor::TMemoryStream source, compressed, target;
  source.Assign(input.data(), input.size());
  pellmor::CompressMemoryStream(source, compressed);
  for (auto _ : state) pellmor::DecompressMemoryStream(compressed, target);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
}

void BM_CompressText(benchmark::State& state) { Compress(state, TextLike()); }
void BM_CompressRandom(benchmark::State& state) { Compress(state, Random()); }
void BM_DecompressText(benchmark::State& state) { Decompress(state, TextLike()); }
void BM_DecompressRandom(benchmark::State& state) { Decompress(state, Random()); }

BENCHMARK(BM_CompressText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompressRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecompressText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecompressRandom)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
