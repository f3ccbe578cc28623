#include "store/ContentCache.h"

#include <gtest/gtest.h>

#include <string>

namespace pellmor {
namespace {

// Puts text as the bytes of (revision, name); returns what the caller's
// stream holds after it.
int64_t Put(TContentCache& cache, int32_t revision, const std::string& name,
            const std::string& text) {
  TMemoryStream stream;
  stream.Assign(text.data(), text.size());
  stream.SetPosition(1);
  cache.Put(revision, name, stream);
  return stream.Size();
}

std::string Text(const TMemoryStream& stream) {
  return std::string(reinterpret_cast<const char*>(stream.Memory()),
                     static_cast<size_t>(stream.Size()));
}

// Takes the bytes of (revision, name); "-" when they are not kept.
std::string Take(TContentCache& cache, int32_t revision, const std::string& name) {
  TMemoryStream out;
  if (!cache.Take(revision, name, out)) return "-";
  EXPECT_EQ(out.Position(), 0);
  return Text(out);
}

TEST(ContentCacheTest, BytesAreFoundByRevisionAndNameAndHandedOutOnce) {
  TContentCache cache(1000);
  EXPECT_EQ(Put(cache, 2, "A.TXT", "old a"), 0) << "taken, not copied";
  Put(cache, 3, "B.TXT", "b of 3");
  Put(cache, 3, "A.TXT", "new a");
  EXPECT_EQ(cache.Bytes(), 16u);

  EXPECT_EQ(Take(cache, 4, "A.TXT"), "-");
  EXPECT_EQ(Take(cache, 2, "B.TXT"), "-");
  EXPECT_EQ(Take(cache, 3, "A.TXT"), "new a");
  EXPECT_EQ(Take(cache, 2, "A.TXT"), "old a");
  EXPECT_EQ(Take(cache, 2, "A.TXT"), "-") << "handed out once";
  EXPECT_EQ(cache.Bytes(), 6u);
}

TEST(ContentCacheTest, TheOldestBytesGoFirstWhenTheBudgetIsExceeded) {
  TContentCache cache(40);
  for (int revision = 1; revision <= 4; ++revision)
    Put(cache, revision, "F", std::string(10, static_cast<char>('0' + revision)));
  EXPECT_EQ(Take(cache, 2, "F"), std::string(10, '2')) << "a hole in the middle";
  Put(cache, 5, "F", std::string(10, '5'));
  EXPECT_EQ(cache.Bytes(), 40u);
  EXPECT_EQ(Take(cache, 1, "F"), std::string(10, '1')) << "the hole made room";

  Put(cache, 6, "F", std::string(10, '6'));
  Put(cache, 7, "F", std::string(10, '7'));
  EXPECT_EQ(Take(cache, 3, "F"), "-") << "the oldest dropped";
  EXPECT_EQ(Take(cache, 4, "F"), std::string(10, '4'));
  EXPECT_EQ(Take(cache, 7, "F"), std::string(10, '7'));
  EXPECT_EQ(cache.Bytes(), 20u);
}

TEST(ContentCacheTest, BytesAboveAQuarterOfTheBudgetAreNotKeptNorTaken) {
  TContentCache cache(40);
  EXPECT_EQ(Put(cache, 1, "BIG", std::string(11, 'x')), 11) << "left with the caller";
  EXPECT_EQ(cache.Bytes(), 0u);
  EXPECT_EQ(Take(cache, 1, "BIG"), "-");
}

TEST(ContentCacheTest, PuttingAKeptEntryAgainReplacesItsBytes) {
  TContentCache cache(100);
  Put(cache, 1, "F", "first");
  Put(cache, 1, "F", "second!");
  EXPECT_EQ(cache.Bytes(), 7u);
  EXPECT_EQ(Take(cache, 1, "F"), "second!");
  EXPECT_EQ(cache.Bytes(), 0u);
}

}  // namespace
}  // namespace pellmor
