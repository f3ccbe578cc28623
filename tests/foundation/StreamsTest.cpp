#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "foundation/Exception.h"
#include "foundation/Streams.h"
#include "tests/support/ErrorText.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

std::string Text(const TMemoryStream& stream) {
  return std::string(stream.Memory(), stream.Memory() + stream.Size());
}

TEST(MemoryStreamTest, GrowsKeepingContentAndTracksPosition) {
  TMemoryStream stream;
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    const std::string piece = std::to_string(i) + ",";
    stream.WriteBuffer(piece.data(), piece.size());
    expected += piece;
  }
  EXPECT_EQ(Text(stream), expected);
  EXPECT_EQ(stream.Position(), stream.Size());

  stream.SetPosition(2);
  char two[2];
  stream.ReadBuffer(two, 2);
  EXPECT_EQ(std::string(two, 2), "1,");
  EXPECT_EQ(stream.Remaining(), stream.Size() - 4);

  stream.SetSize(3);  // shrinking keeps the position, which may now lie past the end
  EXPECT_EQ(stream.Position(), 4);
  EXPECT_EQ(stream.Remaining(), 0);
  char byte;
  EXPECT_EQ(stream.Read(&byte, 1), 0u);
  EXPECT_EQ(test::ErrorOf([&] { stream.ReadBuffer(&byte, 1); }), "Stream read error");
}

TEST(MemoryStreamTest, WritingPastTheEndFillsTheGapWithZeros) {
  TMemoryStream stream;
  stream.Assign("ab", 2);
  stream.SetPosition(5);
  stream.WriteBuffer("z", 1);
  EXPECT_EQ(Text(stream), std::string("ab\0\0\0z", 6));
}

TEST(MemoryStreamTest, WritesMayComeFromItsOwnBuffer) {
  TMemoryStream stream;
  const std::string start(100, 'x');
  stream.Assign(start.data(), start.size());
  stream.ShrinkToFit();  // no spare room: the append below must grow the buffer
  stream.SetPosition(stream.Size());
  stream.WriteBuffer(stream.Memory(), static_cast<size_t>(stream.Size()));
  EXPECT_EQ(Text(stream), std::string(200, 'x'));

  stream.SetPosition(0);
  stream.CopyFrom(stream, 50);  // reads 50 bytes, then writes them after them
  EXPECT_EQ(stream.Size(), 200);
  EXPECT_EQ(stream.Position(), 100);
}

TEST(MemoryStreamTest, SwapAndClear) {
  TMemoryStream a, b;
  a.Assign("first", 5);
  a.SetPosition(3);
  b.Assign("second", 6);
  a.Swap(b);
  EXPECT_EQ(Text(a), "second");
  EXPECT_EQ(a.Position(), 0);
  EXPECT_EQ(Text(b), "first");
  EXPECT_EQ(b.Position(), 3);
  b.Clear();
  EXPECT_EQ(b.Size(), 0);
  EXPECT_EQ(b.Position(), 0);
  EXPECT_EQ(test::ErrorOf([&] { b.SetPosition(-1); }), "Stream seek error");
}

TEST(FileStreamTest, OpenAndCreateErrorsNameTheFileAndTheReason) {
  test::TempDir dir;
  const std::string missing = dir / "missing.dat";
  const std::string inMissingFolder = dir / "no/such/folder/new.dat";
  EXPECT_EQ(test::ErrorOf([&] { TFileStream f(missing, TFileStream::Mode::OpenRead); }),
            "Cannot open file \"" + missing + "\". No such file or directory");
  EXPECT_EQ(test::ErrorOf([&] { TFileStream f(missing, TFileStream::Mode::OpenReadWrite); }),
            "Cannot open file \"" + missing + "\". No such file or directory");
  EXPECT_EQ(test::ErrorOf([&] { TFileStream f(inMissingFolder, TFileStream::Mode::Create); }),
            "Cannot create file \"" + inMissingFolder + "\". No such file or directory");
  EXPECT_EQ(test::ErrorOf([&] { TFileStream f(dir.Path(), TFileStream::Mode::OpenRead); }),
            "Cannot open file \"" + dir.Path() + "\". Is a directory");
  EXPECT_EQ(test::ErrorOf([&] { TFileStream f(dir.Path(), TFileStream::Mode::Create); }),
            "Cannot create file \"" + dir.Path() + "\". Is a directory");
  if (::geteuid() != 0) {
    test::WriteFile(dir / "locked.dat", "x");
    ASSERT_EQ(::chmod((dir / "locked.dat").c_str(), 0), 0);
    EXPECT_EQ(
        test::ErrorOf([&] { TFileStream f(dir / "locked.dat", TFileStream::Mode::OpenRead); }),
        "Cannot open file \"" + (dir / "locked.dat") + "\". Permission denied");
  }
}

// A FIFO where a file is expected would block an open for ever (until some
// writer comes); it is refused at once in every mode, naming it.
TEST(FileStreamTest, AFifoOrDeviceIsRefusedWithoutWaiting) {
  test::TempDir dir;
  const std::string fifo = dir / "1.dat";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  const std::string opened = "Cannot open file \"" + fifo + "\". It is not a regular file";
  EXPECT_EQ(test::ErrorOf([&] { TFileStream f(fifo, TFileStream::Mode::OpenRead); }), opened);
  EXPECT_EQ(test::ErrorOf([&] { TFileStream f(fifo, TFileStream::Mode::OpenReadWrite); }), opened);
  EXPECT_EQ(test::ErrorOf([&] { TFileStream f(fifo, TFileStream::Mode::Create); }),
            "Cannot create file \"" + fifo + "\". It is not a regular file");
  EXPECT_EQ(test::ErrorOf([] { TFileStream f("/dev/zero", TFileStream::Mode::OpenRead); }),
            "Cannot open file \"/dev/zero\". It is not a regular file");
}

TEST(FileStreamTest, CreateTruncatesAndReadWriteWorksInPlace) {
  test::TempDir dir;
  const std::string path = dir / "data.dat";
  test::WriteFile(path, "old content that is long");
  {
    TFileStream file(path, TFileStream::Mode::Create);
    EXPECT_EQ(file.Size(), 0);
    file.WriteBuffer("hello world", 11);
    EXPECT_EQ(file.Position(), 11);
  }
  {
    TFileStream file(path, TFileStream::Mode::OpenReadWrite);
    file.SetPosition(6);
    file.WriteBuffer("WORLD", 5);
  }
  TFileStream file(path, TFileStream::Mode::OpenRead);
  EXPECT_EQ(file.Size(), 11);
  char bytes[11];
  file.ReadBuffer(bytes, sizeof bytes);
  EXPECT_EQ(std::string(bytes, sizeof bytes), "hello WORLD");
  EXPECT_EQ(file.Read(bytes, 1), 0u);
  EXPECT_EQ(test::ErrorOf([&] { file.ReadBuffer(bytes, 1); }), "Stream read error");
  EXPECT_EQ(file.FileName(), path);
}

}  // namespace
}  // namespace pellmor
