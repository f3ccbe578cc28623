// The kinds of the file layer's errors: what is not there, what the system
// cannot do, and bytes that cannot be what they should be.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "foundation/Streams.h"
#include "foundation/uMyStreamUtils.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

TEST(ErrorKindTest, FileLayerErrorsSayWhatKindTheyAre) {
  test::TempDir dir;
  test::WriteFile(dir / "folder/file", "four");
  struct Case {
    const char* name;
    std::function<void()> action;
    std::string message;
    TErrorKind kind;
  };
  const Case cases[] = {
      {"open a missing file", [&] { TFileStream(dir / "missing", TFileStream::Mode::OpenRead); },
       "Cannot open file \"" + dir / "missing" + "\". No such file or directory", ekNotFound},
      {"create in a missing folder",
       [&] { TFileStream(dir / "none/new", TFileStream::Mode::Create); },
       "Cannot create file \"" + dir / "none/new" + "\". No such file or directory", ekNotFound},
      {"a file where a folder should be",
       [&] { TFileStream(dir / "folder/file/x", TFileStream::Mode::OpenRead); },
       "Cannot open file \"" + dir / "folder/file/x" + "\". Not a directory", ekNotFound},
      {"open a folder", [&] { TFileStream(dir / "folder", TFileStream::Mode::OpenRead); },
       "Cannot open file \"" + dir / "folder" + "\". Is a directory", ekInputOutput},
      {"read a folder's content",
       [&] {
         TMemoryStream bytes;
         ReadFileContent(dir / "folder", bytes);
       },
       "Cannot open file \"" + dir / "folder" + "\". Is a directory", ekInputOutput},
      {"read past the end of a file",
       [&] {
         TFileStream file(dir / "folder/file", TFileStream::Mode::OpenRead);
         char bytes[8];
         file.ReadBuffer(bytes, sizeof bytes);
       },
       "Stream read error", ekDamaged},
      {"a length prefix beyond the end",
       [&] {
         TMemoryStream stream;
         WriteInt32(stream, 100);
         stream.SetPosition(0);
         ReadString(stream);
       },
       "Stream read error", ekDamaged},
      {"bytes that are no zlib stream",
       [&] {
         TMemoryStream packed, unpacked;
         packed.Assign("not zlib", 8);
         DecompressMemoryStream(packed, unpacked);
       },
       "Error", ekDamaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      c.action();
      ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
      EXPECT_EQ(e.what(), c.message);
      EXPECT_EQ(e.Kind(), c.kind);
    }
  }
}

}  // namespace
}  // namespace pellmor
