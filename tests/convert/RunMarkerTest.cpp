#include "convert/RunMarker.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

TEST(RunMarkerTest, AShorterMarkerWrittenOverALongerOneReadsBackAsWritten) {
  test::TempDir dir;
  const std::string path = dir / "Run.txt";
  const std::string head(40, 'a');
  TRunMarker marker{head, {std::string(40, 'b'), std::string(40, 'c'), std::string(40, 'd')}};
  marker.Write(path);
  ASSERT_EQ(TRunMarker::Read(path)->Holds, marker.Holds);

  const TRunMarker shorter{head, {std::string(40, 'e')}};
  shorter.Write(path);
  const std::optional<TRunMarker> read = TRunMarker::Read(path);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Head, head);
  EXPECT_EQ(read->Holds, shorter.Holds);

  // A blank line between the lines is still damage, not padding.
  test::WriteFile(path, "head " + head + "\r\n\r\nholds " + std::string(40, 'e') + "\r\n");
  EXPECT_THROW(TRunMarker::Read(path), std::exception);
}

}  // namespace
}  // namespace pellmor
