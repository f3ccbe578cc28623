// Fuzz target: a compressed content block. The first byte chooses the bound
// a reader sets (the one a stored block of that length may expand to, or a
// small one); the rest is the zlib data. Expanding it whole and expanding it
// piece by piece must agree: the same bytes, or the same refusal, and never
// more bytes than the bound. What expands must compress and expand again to
// the same bytes.
#include <cstdint>

#include "foundation/uMyHash.h"
#include "foundation/uMyStreamUtils.h"
#include "fuzz/FuzzCheck.h"
#include "store/uMyFS.h"

using namespace pellmor;

namespace {

enum class TOutcome { Expanded, Damaged, TooLarge };

template <typename Expand>
TOutcome Try(const Expand& expand) {
  try {
    expand();
    return TOutcome::Expanded;
  } catch (const EDecompressionTooLarge&) {
    return TOutcome::TooLarge;
  } catch (const EDecompressionError&) {
    return TOutcome::Damaged;
  } catch (const Exception&) {
    return TOutcome::Damaged;  // the stream ended early ("Stream read error")
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int32_t length = static_cast<int32_t>(size - 1);
  const int64_t bounds[] = {TMyFile::ContentBound(length), 0, 1, 255, 4096};
  const int64_t bound = bounds[data[0] % (sizeof bounds / sizeof bounds[0])];
  TMemoryStream packed;
  packed.Assign(data + 1, size - 1);

  TMemoryStream whole;
  const TOutcome wholeOutcome = Try([&] { DecompressMemoryStream(packed, whole, bound); });

  TContentHasher hasher;
  packed.SetPosition(0);
  const TOutcome streamedOutcome = Try([&] {
    InflateToSink(packed, length, bound, [&](const uint8_t* bytes, size_t count) {
      hasher.Update(bytes, count);
      FUZZ_CHECK(static_cast<int64_t>(hasher.Size()) <= bound);
    });
  });
  FUZZ_CHECK(wholeOutcome == streamedOutcome);
  if (wholeOutcome != TOutcome::Expanded) return 0;

  FUZZ_CHECK(whole.Size() <= bound);
  FUZZ_CHECK(static_cast<int64_t>(hasher.Size()) == whole.Size());
  TContentDigest streamed, expanded;
  hasher.Finish(streamed);
  ContentDigest(whole, expanded);
  FUZZ_CHECK(streamed == expanded);

  TMemoryStream again, back;
  CompressMemoryStream(whole, again);
  DecompressMemoryStream(again, back, bound);
  TContentDigest roundTrip;
  ContentDigest(back, roundTrip);
  FUZZ_CHECK(back.Size() == whole.Size() && roundTrip == expanded);
  return 0;
}
