// ReadFileContent: whole files, links read as their target text, and the
// errors that name the file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "tests/support/Contents.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

using test::BytesOf;
using test::TempDir;

TEST(ReadFileContentTest, ReadsFilesWholeAndLinksAsTheirTarget) {
  TempDir dir;
  const std::string big(3 << 20, 'b');
  const std::string longTarget = std::string(300, 'x') + "/target";
  test::WriteFile(dir / "empty", "");
  test::WriteFile(dir / "small", std::string("a\0b", 3));
  test::WriteFile(dir / "big", big);
  ASSERT_EQ(::symlink("small", (dir / "link").c_str()), 0);
  ASSERT_EQ(::symlink(longTarget.c_str(), (dir / "long-link").c_str()), 0);
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {{"empty", ""},
               {"small", std::string("a\0b", 3)},
               {"big", big},
               {"link", "small"},
               {"long-link", longTarget}};
  TMemoryStream content;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    content.Assign("stale", 5);
    content.SetPosition(3);
    ReadFileContent(dir / c.name, content);
    EXPECT_TRUE(BytesOf(content) == c.bytes) << content.Size() << " bytes";
    EXPECT_EQ(content.Position(), 0);
  }
}

TEST(ReadFileContentTest, ErrorsNameTheFile) {
  TempDir dir;
  test::WriteFile(dir / "sub/file", "f");
  const struct {
    std::string path;
    std::string message;
  } cases[] = {
      {dir / "missing",
       "Cannot open file \"" + (dir / "missing") + "\". No such file or directory"},
      {dir / "sub", "Cannot open file \"" + (dir / "sub") + "\". Is a directory"},
      {dir / "sub/file/x", "Cannot open file \"" + (dir / "sub/file/x") + "\". Not a directory"},
      // Put where the scan saw a file: refused at once, not waited on.
      {dir / "fifo", "Cannot open file \"" + (dir / "fifo") + "\". It is not a regular file"},
  };
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0666), 0);
  TMemoryStream content;
  for (const auto& c : cases) {
    try {
      ReadFileContent(c.path, content);
      ADD_FAILURE() << "no error for " << c.path;
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
}

}  // namespace
}  // namespace pellmor
