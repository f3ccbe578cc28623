#include "store/ContentPacking.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/Exception.h"
#include "foundation/uMyStreamUtils.h"
#include "store/uMyFS.h"

namespace pellmor {
namespace {

std::string Text(const TMemoryStream& stream) {
  return std::string(reinterpret_cast<const char*>(stream.Memory()),
                     static_cast<size_t>(stream.Size()));
}

std::string Saved(TMyContaner& container, TPackedContents* packed) {
  TMemoryStream stream;
  container.SaveToStream(stream, packed);
  return Text(stream);
}

TMyFile& AddEntry(TMyContaner& container, const std::string& name, int32_t dataRevision,
                  const std::string& content) {
  TMyFile& entry = *container.Files.Add();
  entry.SetName(name);
  entry.DataRevision = dataRevision;
  entry.Content.Assign(content.data(), content.size());
  return entry;
}

// Bytes that compress, but not to nothing: each size its own pattern.
std::string Pattern(size_t size, int seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * i + seed) % 251);
  return bytes;
}

// Revision 7: entries of every kind, in no order of size, so that the
// threads take them out of their order in Files.
void FillRevision(TMyContaner& container) {
  container.Number = 7;
  AddEntry(container, "small.txt", 7, "a few bytes");
  AddEntry(container, "medium.bin", 7, Pattern(5000, 1));
  AddEntry(container, "carried.bin", 6, Pattern(9000, 2));  // its bytes are revision 6's
  AddEntry(container, "large.bin", 7, Pattern(400000, 3));
  AddEntry(container, "empty.txt", 7, "");
  AddEntry(container, "second.bin", 7, Pattern(70000, 4));
}

class ContentPackingTest : public ::testing::TestWithParam<bool> {};

TEST_P(ContentPackingTest, PacksWhatSavingCompressesInTheOrderOfFiles) {
  TMyContaner container;
  FillRevision(container);
  TContentPacking packing(container, GetParam());
  TPackedContents packed = packing.Finish();
  ASSERT_EQ(packed.size(), static_cast<size_t>(container.Files.Count()));
  for (int i = 0; i < container.Files.Count(); ++i) {
    TMyFile& entry = *container.Files[i];
    SCOPED_TRACE(entry.Name());
    ASSERT_EQ(packed[i] != nullptr, entry.StoresCompressed());
    if (packed[i] == nullptr) continue;
    TMemoryStream expanded;
    DecompressMemoryStream(*packed[i], expanded, entry.Content.Size());
    EXPECT_EQ(Text(expanded), Text(entry.Content));
  }
  // The container saved with them is the one saving compresses itself.
  EXPECT_EQ(Saved(container, &packed), Saved(container, nullptr));
}

TEST_P(ContentPackingTest, RaisesTheErrorOfAnEntryItCannotPack) {
  TMyContaner container;
  FillRevision(container);
  TMyFile& big = AddEntry(container, "big.iso", 7, "");
  big.Content.SetSize(kMaxContentSize + 1);  // never touched, so never really allocated
  TContentPacking packing(container, GetParam());
  try {
    packing.Finish();
    FAIL() << "an oversize content was packed";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("File 'big.iso' is too large to store"), std::string::npos)
        << e.what();
  }
}

// A packing dropped before it finished (a revision that is never written)
// waits for the worker thread on it, or withdraws the work before a thread
// starts it: the work never outlives the container it reads (the
// sanitizer build tells a read after the end).
TEST(ContentPackingThreadTest, AnUnfinishedPackingWaitsForItsThread) {
  TMyContaner container;
  FillRevision(container);
  { TContentPacking packing(container, true); }
  // The entries are the container's again: saving them compresses them here.
  EXPECT_FALSE(Saved(container, nullptr).empty());
}

INSTANTIATE_TEST_SUITE_P(OnThisThreadOrBoth, ContentPackingTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? std::string("Background") : std::string("Here");
                         });

}  // namespace
}  // namespace pellmor
