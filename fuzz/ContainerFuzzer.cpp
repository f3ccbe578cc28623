// Fuzz target: a container file (Objects/N.dat), as every reader of the
// store reads it. Whatever loads must also stream (the same bytes as the
// whole read), be judged by checkout's name rules without failing, and write
// back into bytes that load as the same container.
#include <cstdint>
#include <vector>

#include "foundation/uMyHash.h"
#include "fuzz/FuzzCheck.h"
#include "store/CheckoutNames.h"
#include "store/uMyFS.h"

namespace {

using namespace pellmor;

bool SameRecord(const TMyFile& a, const TMyFile& b) {
  return a.Name() == b.Name() && a.Version == b.Version && a.Deleted == b.Deleted &&
         a.IsLink == b.IsLink && a.ChangeKind == b.ChangeKind && a.DataRevision == b.DataRevision &&
         a.Hash == b.Hash && a.Attributes == b.Attributes && a.LastWriteTime == b.LastWriteTime &&
         a.CreationTime == b.CreationTime && a.LastAccessTime == b.LastAccessTime &&
         a.LinkName == b.LinkName;
}

bool SameContent(const TMyFile& a, const TMyFile& b) {
  TContentDigest x, y;
  ContentDigest(a.Content, x);
  ContentDigest(b.Content, y);
  return a.Content.Size() == b.Content.Size() && x == y;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream bytes;
  bytes.Assign(data, size);
  TMyContaner container;
  try {
    container.LoadFromStream(bytes, lpEverything);
  } catch (const EDamagedContainer&) {
    return 0;
  }
  // A format version below 1 is read as an empty container, not loaded.
  FUZZ_CHECK(container.Loaded == (container.FormatVersion >= 1));
  FUZZ_CHECK(container.Loaded || container.Files.Empty());

  // Streaming gives the bytes the whole read gave.
  for (const auto& entry : container.Files) {
    TContentHasher hasher;
    entry->StreamContent(bytes,
                         [&](const uint8_t* piece, size_t count) { hasher.Update(piece, count); });
    TContentDigest streamed, whole;
    FUZZ_CHECK(static_cast<int64_t>(hasher.Size()) == entry->Content.Size());
    hasher.Finish(streamed);
    ContentDigest(entry->Content, whole);
    FUZZ_CHECK(streamed == whole);
  }

  std::vector<const TMyFile*> live;
  for (const auto& entry : container.Files)
    if (!entry->Deleted) live.push_back(entry.get());
  FindUnsafeNames(live);

  if (container.FormatVersion < 1) return 0;
  TMemoryStream image;
  container.SaveToStream(image);
  TMyContaner again;
  again.LoadFromStream(image, lpEverything);
  FUZZ_CHECK(again.Number == container.Number);
  FUZZ_CHECK(again.PreviousNumber == container.PreviousNumber);
  FUZZ_CHECK(again.NextNumber == container.NextNumber);
  FUZZ_CHECK(again.Author == container.Author && again.Email == container.Email);
  FUZZ_CHECK(again.Comment == container.Comment && again.Date == container.Date);
  FUZZ_CHECK(again.Files.Count() == container.Files.Count());
  for (int i = 0; i < container.Files.Count(); ++i) {
    const TMyFile& before = *container.Files[i];
    const TMyFile& after = *again.Files[i];
    FUZZ_CHECK(SameRecord(before, after));
    // Only the bytes a container holds for its own revision are written.
    if (before.DataRevision == container.Number) FUZZ_CHECK(SameContent(before, after));
  }
  return 0;
}
