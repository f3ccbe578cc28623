// SHA-256 throughput of the portable and the hardware path, with OpenSSL's
// SHA256 as the reference, on a 64 KiB and a 16 MiB buffer.
#include <benchmark/benchmark.h>
#include <openssl/sha.h>

#include <random>
#include <vector>

#include "foundation/uMyHash.h"

namespace {

// Random bytes, enough for the largest case.
const std::vector<uint8_t>& Data() {
  static const std::vector<uint8_t> data = [] {
    std::vector<uint8_t> bytes(16 << 20);
    std::mt19937 random(1);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
  }();
  return data;
}

template <typename Hash>
void Run(benchmark::State& state, Hash hash) {
  const auto size = static_cast<size_t>(state.range(0));
  const std::vector<uint8_t>& data = Data();
  for (auto _ : state) hash(data.data(), size);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Portable(benchmark::State& state) {
  Run(state, [](const uint8_t* p, size_t n) {
    pellmor::TContentDigest digest;
    pellmor::HashBufferPortable(p, n, digest);
    benchmark::DoNotOptimize(digest);
  });
}

void BM_Hardware(benchmark::State& state) {
  if (!pellmor::HasShaInstructions()) {
    state.SkipWithError("this CPU has no SHA instructions");
    return;
  }
  Run(state, [](const uint8_t* p, size_t n) {
    pellmor::TContentDigest digest;
    pellmor::HashBufferHardware(p, n, digest);
    benchmark::DoNotOptimize(digest);
  });
}

void BM_OpenSSL(benchmark::State& state) {
  Run(state, [](const uint8_t* p, size_t n) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(p, n, digest);
    benchmark::DoNotOptimize(digest);
  });
}

BENCHMARK(BM_Portable)->Arg(64 << 10)->Arg(16 << 20);
BENCHMARK(BM_Hardware)->Arg(64 << 10)->Arg(16 << 20);
BENCHMARK(BM_OpenSSL)->Arg(64 << 10)->Arg(16 << 20);

}  // namespace

BENCHMARK_MAIN();
