#include "foundation/uMyHash.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define PELLMOR_X86 1
#endif

namespace pellmor {

namespace {

constexpr uint32_t kInitialState[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

constexpr uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

// Processes `count` consecutive 64-byte blocks into state.
using TBlockFunction = void (*)(uint32_t state[8], const uint8_t* blocks, size_t count);

inline uint32_t RotateRight(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

inline uint32_t LoadBigEndian(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

void PortableBlocks(uint32_t state[8], const uint8_t* blocks, size_t count) {
  for (; count > 0; --count, blocks += 64) {
    uint32_t w[64];
    for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian(blocks + 4 * t);
    for (int t = 16; t < 64; ++t) {
      const uint32_t s0 = RotateRight(w[t - 15], 7) ^ RotateRight(w[t - 15], 18) ^ (w[t - 15] >> 3);
      const uint32_t s1 = RotateRight(w[t - 2], 17) ^ RotateRight(w[t - 2], 19) ^ (w[t - 2] >> 10);
      w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int t = 0; t < 64; ++t) {
      const uint32_t sum1 = RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25);
      const uint32_t choice = (e & f) ^ (~e & g);
      const uint32_t t1 = h + sum1 + choice + kRoundConstants[t] + w[t];
      const uint32_t sum0 = RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22);
      const uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
      const uint32_t t2 = sum0 + majority;
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
  }
}

#ifdef PELLMOR_X86

// The x86 SHA extensions keep the state as two registers, ABEF and CDGH, and
// run four rounds per pair of sha256rnds2 instructions.
__attribute__((target("sha,sse4.1"))) void ShaNiBlocks(uint32_t state[8], const uint8_t* blocks,
                                                       size_t count) {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);

  __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));     // DCBA
  __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));  // HGFE
  tmp = _mm_shuffle_epi32(tmp, 0xB1);                                             // CDAB
  state1 = _mm_shuffle_epi32(state1, 0x1B);                                       // EFGH
  __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);                               // ABEF
  state1 = _mm_blend_epi16(state1, tmp, 0xF0);                                    // CDGH

  for (; count > 0; --count, blocks += 64) {
    const __m128i saved0 = state0;
    const __m128i saved1 = state1;
    __m128i message[4];
    for (int k = 0; k < 4; ++k)
      message[k] = _mm_shuffle_epi8(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * k)), byteSwap);

      // Sixteen groups of four rounds; from the fourth group on, each group also
      // finishes the schedule words that the group after next needs.
#pragma GCC unroll 16
    for (int group = 0; group < 16; ++group) {
      __m128i& current = message[group & 3];
      __m128i words = _mm_add_epi32(
          current, _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRoundConstants[4 * group])));
      state1 = _mm_sha256rnds2_epu32(state1, state0, words);
      if (group >= 3 && group < 15) {
        __m128i& next = message[(group + 1) & 3];
        next = _mm_add_epi32(next, _mm_alignr_epi8(current, message[(group + 3) & 3], 4));
        next = _mm_sha256msg2_epu32(next, current);
      }
      words = _mm_shuffle_epi32(words, 0x0E);
      state0 = _mm_sha256rnds2_epu32(state0, state1, words);
      if (group >= 1 && group < 13) {
        __m128i& previous = message[(group + 3) & 3];
        previous = _mm_sha256msg1_epu32(previous, current);
      }
    }

    state0 = _mm_add_epi32(state0, saved0);
    state1 = _mm_add_epi32(state1, saved1);
  }

  tmp = _mm_shuffle_epi32(state0, 0x1B);        // FEBA
  state1 = _mm_shuffle_epi32(state1, 0xB1);     // DCHG
  state0 = _mm_blend_epi16(tmp, state1, 0xF0);  // DCBA
  state1 = _mm_alignr_epi8(state1, tmp, 8);     // HGFE
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), state0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), state1);
}

bool DetectShaInstructions() {
  unsigned eax, ebx, ecx, edx;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  const bool ssse3 = (ecx & bit_SSSE3) != 0;
  const bool sse41 = (ecx & bit_SSE4_1) != 0;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
  const bool sha = (ebx & bit_SHA) != 0;
  return ssse3 && sse41 && sha;
}

#endif

// Hashes the last rest (< 64) bytes of a message of length bytes in all, with
// the padding, and writes the digest.
void FinishWith(TBlockFunction blocksFunction, uint32_t state[8], const uint8_t* rest_bytes,
                size_t rest, uint64_t length, TContentDigest& digest) {
  uint8_t padding[128];
  if (rest > 0) std::memcpy(padding, rest_bytes, rest);
  padding[rest] = 0x80;
  const size_t used = rest + 1 > 56 ? 128 : 64;
  std::memset(padding + rest + 1, 0, used - 8 - (rest + 1));
  const uint64_t bits = length * 8;
  for (int k = 0; k < 8; ++k) padding[used - 1 - k] = static_cast<uint8_t>(bits >> (8 * k));
  blocksFunction(state, padding, used / 64);
  explicit_bzero(padding, used);

  for (int k = 0; k < 8; ++k) {
    digest[4 * k] = static_cast<uint8_t>(state[k] >> 24);
    digest[4 * k + 1] = static_cast<uint8_t>(state[k] >> 16);
    digest[4 * k + 2] = static_cast<uint8_t>(state[k] >> 8);
    digest[4 * k + 3] = static_cast<uint8_t>(state[k]);
  }
}

void HashWith(TBlockFunction blocksFunction, const void* buffer, size_t length,
              TContentDigest& digest) {
  uint32_t state[8];
  std::memcpy(state, kInitialState, sizeof state);
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  const size_t whole = length / 64;
  if (whole > 0) blocksFunction(state, bytes, whole);
  FinishWith(blocksFunction, state, bytes + whole * 64, length % 64, length, digest);
}

TBlockFunction ChooseBlockFunction() {
#ifdef PELLMOR_X86
  if (DetectShaInstructions()) return ShaNiBlocks;
#endif
  return PortableBlocks;
}

// Decided once, on first use.
TBlockFunction BestBlockFunction() {
  static const TBlockFunction chosen = ChooseBlockFunction();
  return chosen;
}

}  // namespace

bool HasShaInstructions() { return BestBlockFunction() != PortableBlocks; }

void HashBuffer(const void* buffer, size_t length, TContentDigest& digest) {
  HashWith(BestBlockFunction(), buffer, length, digest);
}

void HashBufferPortable(const void* buffer, size_t length, TContentDigest& digest) {
  HashWith(PortableBlocks, buffer, length, digest);
}

void HashBufferHardware(const void* buffer, size_t length, TContentDigest& digest) {
  HashWith(BestBlockFunction(), buffer, length, digest);
}

bool DigestsEqual(const TContentDigest& a, const TContentDigest& b) { return a == b; }

void ContentDigest(const TMemoryStream& stream, TContentDigest& digest) {
  ContentDigest(stream.Memory(), static_cast<size_t>(stream.Size()), digest);
}

void ContentDigest(const void* buffer, size_t length, TContentDigest& digest) {
  digest.fill(0);
  if (length == 0) return;
  HashBuffer(buffer, length, digest);
}

TContentHasher::TContentHasher() { std::memcpy(state_, kInitialState, sizeof state_); }

void TContentHasher::Update(const void* bytes, size_t count) {
  if (count == 0) return;
  const auto* in = static_cast<const uint8_t*>(bytes);
  total_ += count;
  if (fill_ > 0) {
    const size_t n = std::min(count, sizeof block_ - fill_);
    std::memcpy(block_ + fill_, in, n);
    fill_ += n;
    in += n;
    count -= n;
    if (fill_ < sizeof block_) return;
    BestBlockFunction()(state_, block_, 1);
    fill_ = 0;
  }
  const size_t whole = count / 64;
  if (whole > 0) BestBlockFunction()(state_, in, whole);
  fill_ = count % 64;
  if (fill_ > 0) std::memcpy(block_, in + whole * 64, fill_);
}

void TContentHasher::Finish(TContentDigest& digest) {
  digest.fill(0);
  if (total_ == 0) return;
  FinishWith(BestBlockFunction(), state_, block_, fill_, total_, digest);
  explicit_bzero(block_, sizeof block_);
}

}  // namespace pellmor
