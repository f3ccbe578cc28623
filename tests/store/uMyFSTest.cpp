#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "foundation/AsciiText.h"
#include "foundation/Platform.h"
#include "foundation/uMyStreamUtils.h"
#include "store/uMyFS.h"
#include "store/uMyHistory.h"
#include "tests/support/ErrorText.h"
#include "tests/support/RawContainer.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

// Little-endian bytes written by hand, to hold the writer against the format.
struct Bytes {
  std::string data;
  Bytes& I32(int32_t v) { return Raw(&v, 4); }
  Bytes& I64(int64_t v) { return Raw(&v, 8); }
  Bytes& U8(uint8_t v) { return Raw(&v, 1); }
  Bytes& Str(const std::string& s) {
    I32(static_cast<int32_t>(s.size()));
    data += s;
    return *this;
  }
  Bytes& Raw(const void* p, size_t n) {
    data.append(static_cast<const char*>(p), n);
    return *this;
  }
  void PatchI64(size_t at, int64_t v) { std::memcpy(data.data() + at, &v, 8); }
  size_t Size() const { return data.size(); }
};

std::string Text(const TMemoryStream& stream) {
  return std::string(reinterpret_cast<const char*>(stream.Memory()), stream.Size());
}

void SetText(TMemoryStream& stream, const std::string& text) {
  stream.Assign(text.data(), text.size());
}

std::string Saved(TMyContaner& container) {
  TMemoryStream stream;
  container.SaveToStream(stream);
  return Text(stream);
}

void Load(TMyContaner& container, const std::string& image, TLoadParts parts = lpEverything) {
  TMemoryStream stream;
  SetText(stream, image);
  container.LoadFromStream(stream, parts);
}

TContentDigest DigestOf(const std::string& text) {
  TMemoryStream stream;
  SetText(stream, text);
  TContentDigest digest;
  ContentDigest(stream, digest);
  return digest;
}

// The zlib stream of text, as the compression layer makes it.
std::string Compressed(const std::string& text) {
  TMemoryStream stream;
  SetText(stream, text);
  CompressMemoryStream(stream, stream);
  return Text(stream);
}

// A small revision 2: one file with its bytes here, one renamed file whose
// bytes live in revision 1.
void FillSmallRevision(TMyContaner& c) {
  c.Number = 2;
  c.PreviousNumber = 1;
  c.NextNumber = 0;
  c.Author = "ann";
  c.Email = "a@b";
  c.Comment = "hi";
  c.Date = 0x0102030405060708ULL;
  TMyFile* a = c.Files.Add();
  a->SetName("a.txt");
  SetText(a->Content, "xyz");
  a->ComputeHash();
  a->Version = 1;
  a->ChangeKind = ckAdded;
  a->DataRevision = 2;
  a->Attributes = 0x20;
  a->LastWriteTime = 11;
  a->CreationTime = 12;
  a->LastAccessTime = 13;
  TMyFile* b = c.Files.Add();
  b->SetName("d\\b.txt");
  SetText(b->Content, "bytes of revision 1, not written here");
  b->Version = 4;
  b->ChangeKind = ckUnchanged;
  b->DataRevision = 1;
  b->IsLink = true;
  b->LinkName = "old.txt";
  b->Deleted = true;
}

TEST(TMyContanerFormatTest, SmallRevisionIsWrittenByteForByte) {
  TMyContaner c;
  FillSmallRevision(c);

  Bytes want;
  want.Str("Quarv").I32(1).I32(2).I32(1).I32(0).Str("ann").Str("a@b").Str("hi");
  want.I64(0x0102030405060708LL).I32(2);
  const TContentDigest hashA = DigestOf("xyz");
  want.Str("a.txt").I32(1).U8(0).U8(0).U8(0).U8(2).I32(2).Raw(hashA.data(), 32).I32(0x20);
  want.I64(11).I64(12).I64(13);  // no LinkName: not a link
  const size_t slotA = want.Size();
  want.I64(0);
  const TContentDigest zeros{};
  want.Str("d\\b.txt").I32(4).U8(1).U8(1).U8(0).U8(3).I32(1).Raw(zeros.data(), 32).I32(0);
  want.I64(0).I64(0).I64(0).Str("old.txt");
  const size_t slotB = want.Size();
  want.I64(0);
  const size_t blockA = want.Size();
  want.Str("xyz");
  const size_t blockB = want.Size();
  want.I32(0);  // bytes in another revision: an empty block whatever memory holds
  want.PatchI64(slotA, static_cast<int64_t>(blockA));
  want.PatchI64(slotB, static_cast<int64_t>(blockB));

  const std::string image = Saved(c);
  EXPECT_EQ(image, want.data);
  EXPECT_EQ(c.Files[0]->OffsetSlotPos, static_cast<int64_t>(slotA));
  EXPECT_EQ(c.Files[0]->ContentOffset, static_cast<int64_t>(blockA));
  EXPECT_EQ(c.Files[1]->ContentOffset, static_cast<int64_t>(blockB));
  // The fields that Commit patches and ReadContainerNumber reads.
  int32_t number = 0, next = 0;
  std::memcpy(&number, image.data() + kContainerNumberOffset, 4);
  std::memcpy(&next, image.data() + kContainerNextNumberOffset, 4);
  EXPECT_EQ(number, 2);
  EXPECT_EQ(next, 0);
}

TEST(TMyContanerFormatTest, CompressionStartsAbove255Bytes) {
  struct Case {
    size_t size;
    bool compressed;
  } cases[] = {{0, false}, {1, false}, {255, false}, {256, true}, {5000, true}};
  for (const Case& k : cases) {
    std::string content(k.size, 'q');
    for (size_t i = 0; i < content.size(); i += 7) content[i] = static_cast<char>('a' + i % 26);
    TMyContaner c;
    c.Number = 3;
    TMyFile* f = c.Files.Add();
    f->SetName("f.bin");
    f->DataRevision = 3;
    SetText(f->Content, content);
    const std::string image = Saved(c);
    EXPECT_EQ(f->Compressed, k.compressed) << k.size;

    const std::string block = image.substr(static_cast<size_t>(f->ContentOffset));
    int32_t length = 0;
    std::memcpy(&length, block.data(), 4);
    const std::string stored = block.substr(4);
    ASSERT_EQ(static_cast<size_t>(length), stored.size()) << "the file ends with the block";
    if (k.compressed) {
      EXPECT_EQ(stored, Compressed(content)) << k.size;
      EXPECT_EQ(stored.substr(0, 2), "\x78\xDA");
    } else {
      EXPECT_EQ(stored, content) << k.size;
    }
    TMyContaner back;
    Load(back, image);
    EXPECT_EQ(Text(back.Files[0]->Content), content) << k.size;
    EXPECT_EQ(back.Files[0]->Compressed, k.compressed);
  }
}

TEST(TMyContanerFormatTest, EmptyContainerEndsRightAfterTheCount) {
  TMyContaner c;
  Bytes want;
  want.Str("Quarv").I32(1).I32(0).I32(0).I32(0).Str("").Str("").Str("").I64(0).I32(0);
  EXPECT_EQ(Saved(c), want.data);
  TMyFile* empty = c.Files.Add();
  empty->SetName("e");
  empty->ComputeHash();
  EXPECT_EQ(empty->Hash, TContentDigest{});
  const std::string image = Saved(c);
  EXPECT_EQ(image.substr(image.size() - 4), std::string(4, '\0')) << "an empty content block";
}

TEST(TMyContanerFormatTest, EveryStoredFieldRoundTrips) {
  TMyContaner c;
  FillSmallRevision(c);
  c.Comment =
      "Gr\xC3\xBC\xC3\x9F"
      "e \xE2\x9C\x93";
  c.NextNumber = 7;
  TMyFile* a = c.Files[0];
  a->Attributes = 0x80000421u;
  a->LastWriteTime = 0xFFFFFFFFFFFFFFFFULL;
  a->Seen = true;
  a->Untouched = false;
  a->ChangeKind = 5;
  a->Version = -2;
  TMyFile* b = c.Files[1];
  b->Hash = DigestOf("something");
  const std::string image = Saved(c);

  TMyContaner back;
  Load(back, image);
  EXPECT_TRUE(back.Loaded);
  EXPECT_EQ(back.FormatVersion, 1);
  EXPECT_EQ(back.Number, 2);
  EXPECT_EQ(back.PreviousNumber, 1);
  EXPECT_EQ(back.NextNumber, 7);
  EXPECT_EQ(back.Author, "ann");
  EXPECT_EQ(back.Email, "a@b");
  EXPECT_EQ(back.Comment, c.Comment);
  EXPECT_EQ(back.Date, c.Date);
  ASSERT_EQ(back.Files.Count(), 2);
  for (int i = 0; i < 2; ++i) {
    const TMyFile& want = *c.Files[i];
    const TMyFile& got = *back.Files[i];
    EXPECT_EQ(got.Name(), want.Name());
    EXPECT_EQ(got.UpperName(), want.UpperName());
    EXPECT_EQ(got.Version, want.Version);
    EXPECT_EQ(got.Deleted, want.Deleted);
    EXPECT_EQ(got.IsLink, want.IsLink);
    EXPECT_EQ(got.LinkName, want.LinkName);
    EXPECT_EQ(got.Compressed, want.Compressed);
    EXPECT_EQ(got.ChangeKind, want.ChangeKind);
    EXPECT_EQ(got.DataRevision, want.DataRevision);
    EXPECT_EQ(got.Hash, want.Hash);
    EXPECT_EQ(got.Attributes, want.Attributes);
    EXPECT_EQ(got.LastWriteTime, want.LastWriteTime);
    EXPECT_EQ(got.CreationTime, want.CreationTime);
    EXPECT_EQ(got.LastAccessTime, want.LastAccessTime);
    EXPECT_EQ(got.ContentOffset, want.ContentOffset);
    EXPECT_FALSE(got.Seen) << "memory-only";
    EXPECT_TRUE(got.Untouched) << "memory-only";
  }
  EXPECT_EQ(Text(back.Files[0]->Content), "xyz");
  EXPECT_EQ(back.Files[1]->Content.Size(), 0) << "its bytes live in revision 1";
  EXPECT_EQ(Saved(back), image) << "saving what was read gives the same file";

  // A record without the link flag has no LinkName on disk and reads none.
  TMyContaner reuse;
  Load(reuse, image);
  reuse.Files[1]->IsLink = false;
  TMyContaner noLink;
  Load(noLink, Saved(reuse));
  EXPECT_EQ(noLink.Files[1]->LinkName, "");
}

TEST(TMyContanerFormatTest, RecordsOnlyLoadAndOneContentLater) {
  test::TempDir dir;
  TMyContaner c;
  FillSmallRevision(c);
  SetText(c.Files[0]->Content, std::string(1000, 'z'));
  c.SaveToFile(dir / "2.dat");

  TMyContaner records;
  records.LoadFromFile(dir / "2.dat", lpRecords);
  EXPECT_FALSE(records.Loaded);
  ASSERT_EQ(records.Files.Count(), 2);
  EXPECT_EQ(records.Author, "ann");
  EXPECT_EQ(records.Files[0]->Content.Size(), 0);
  EXPECT_TRUE(records.Files[0]->Compressed);
  records.LoadContentFromFile(dir / "2.dat", *records.Files[0]);
  EXPECT_EQ(Text(records.Files[0]->Content), std::string(1000, 'z'));
}

TEST(TMyContanerFormatTest, FormatVersionBelowOneLoadsEmpty) {
  Bytes image;
  image.Str("Quarv").I32(0).I32(9).Str("garbage that is never read");
  TMyContaner c;
  c.Files.Add()->SetName("stale");
  Load(c, image.data);
  EXPECT_EQ(c.Files.Count(), 0);
  EXPECT_EQ(c.FormatVersion, 0);
}

TEST(TMyContanerFormatTest, OversizeContentIsRefusedBeforeTheFileIsTouched) {
  test::TempDir dir;
  test::WriteFile(dir / "5.dat", "previous bytes");
  TMyContaner c;
  c.Number = 5;
  TMyFile* big = c.Files.Add();
  big->SetName("big.iso");
  big->DataRevision = 5;
  big->Content.SetSize(kMaxContentSize + 1);  // never touched, so never really allocated
  try {
    c.SaveToFile(dir / "5.dat");
    FAIL() << "an oversize content was written";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("File 'big.iso' is too large to store"), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(test::ReadFile(dir / "5.dat"), "previous bytes");
  big->DataRevision = 4;  // bytes kept elsewhere: nothing of them is written
  c.SaveToFile(dir / "5.dat");
}

// ---- damaged containers ----

class DamagedContainerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TMyContaner c;
    FillSmallRevision(c);
    TMyFile* big = c.Files.Add();
    big->SetName("z.bin");
    big->DataRevision = 2;
    std::string content(3000, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * i % 251);
    SetText(big->Content, content);
    image_ = Saved(c);
    compressedOffset_ = static_cast<size_t>(big->ContentOffset);
    slotA_ = static_cast<size_t>(c.Files[0]->OffsetSlotPos);
    blockA_ = static_cast<size_t>(c.Files[0]->ContentOffset);
  }

  // Loads bytes from a file and returns the error message ("" when it loaded).
  std::string LoadError(const std::string& bytes) {
    test::WriteFile(path_, bytes);
    TMyContaner c;
    try {
      c.LoadFromFile(path_);
    } catch (const EDamagedContainer& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.rfind("Container '" + path_ + "' is damaged: ", 0), 0u) << message;
      return message;
    }
    return "";
  }

  std::string WithI32(size_t at, int32_t value) {
    std::string bytes = image_;
    std::memcpy(bytes.data() + at, &value, 4);
    return bytes;
  }
  std::string WithI64(size_t at, int64_t value) {
    std::string bytes = image_;
    std::memcpy(bytes.data() + at, &value, 8);
    return bytes;
  }

  test::TempDir dir_;
  std::string path_ = dir_ / "2.dat";
  std::string image_;
  size_t compressedOffset_ = 0;
  size_t slotA_ = 0;
  size_t blockA_ = 0;
};

TEST_F(DamagedContainerTest, TheWholeImageLoads) { EXPECT_EQ(LoadError(image_), ""); }

TEST_F(DamagedContainerTest, EveryTruncationIsReported) {
  EXPECT_NE(LoadError(image_.substr(0, image_.size() - 1)), "");
  for (size_t size = 0; size < image_.size(); ++size) {
    TMyContaner c;
    EXPECT_THROW(Load(c, image_.substr(0, size)), EDamagedContainer) << "cut at " << size;
  }
}

TEST_F(DamagedContainerTest, LengthsAndOffsetsOutsideTheFile) {
  const size_t count = 53;  // header: 9 + 16 + 7 + 7 + 6 + 8 bytes before the count
  struct Case {
    const char* what;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"magic length", WithI32(0, 0x7FFFFFFF), "cannot read its header"},
      {"author length", WithI32(25, 0x40000000), "cannot read its header"},
      {"entry count", WithI32(count, 0x7FFFFFFF), "entry count 2147483647 does not fit"},
      {"negative count", WithI32(count, -1), "entry count -1 does not fit"},
      {"name length", WithI32(count + 4, 0x7FFFFFF0), "cannot read the record of entry 1 of 3"},
      {"offset past the end", WithI64(slotA_, 1 << 20), "the content of 'a.txt' lies outside"},
      {"negative offset", WithI64(slotA_, -8), "the content of 'a.txt' lies outside"},
      // Read as 32 bits this offset would find a.txt's block: it must not.
      {"offset beyond 4 GiB", WithI64(slotA_, (int64_t{1} << 32) + static_cast<int64_t>(blockA_)),
       "the content of 'a.txt' lies outside"},
      {"block length", WithI32(blockA_, 0x7FFFFFFF), "content block of 'a.txt'"},
  };
  for (const Case& c : cases) {
    const std::string message = LoadError(c.bytes);
    EXPECT_NE(message.find(c.reason), std::string::npos) << c.what << ": " << message;
  }
}

TEST_F(DamagedContainerTest, BadCompressedDataIsReported) {
  std::string bytes = image_;
  bytes[compressedOffset_ + 4] = 0x00;  // the zlib header's first byte
  EXPECT_NE(LoadError(bytes).find("the content of 'z.bin' is not valid compressed data"),
            std::string::npos);
  bytes = image_;
  bytes[bytes.size() - 1] ^= 0x55;  // the Adler-32 checksum at the end
  EXPECT_NE(LoadError(bytes).find("'z.bin'"), std::string::npos);
}

// Every single-byte change either still loads or is reported; nothing else
// (a crash, a read outside the file, a huge allocation) may happen.
TEST_F(DamagedContainerTest, FlippedBytesNeverEscapeTheReader) {
  std::mt19937 random(7);
  for (size_t at = 0; at < image_.size(); ++at) {
    std::string bytes = image_;
    bytes[at] = static_cast<char>(bytes[at] ^ (1 + random() % 255));
    TMemoryStream stream;
    SetText(stream, bytes);
    TMyContaner c;
    try {
      c.LoadFromStream(stream);
    } catch (const EDamagedContainer& e) {
      EXPECT_NE(std::string(e.what()).find("(memory stream)"), std::string::npos);
    }
  }
}

// A block of zeros that expands past what a content can hold: 2049 MiB in
// about 2 MiB of zlib data. It is refused once the bound is passed, saying
// so, before it takes that memory.
TEST(ContentBoundTest, AnExpansionPastTheLargestContentIsRefusedSayingSo) {
  test::TempDir dir;
  const std::string path = dir / "1.dat";
  test::WriteFile(path, test::RawContainer(1, 0, 0,
                                           {{.Name = "bomb.bin",
                                             .Block = test::ZerosZlibStream(2049),
                                             .Compressed = true,
                                             .Hash = test::ZerosDigest(2049)}}));
  rusage before{}, after{};
  ::getrusage(RUSAGE_SELF, &before);
  TMyContaner whole;
  try {
    whole.LoadFromFile(path, lpEverything);
    ADD_FAILURE() << "no error";
  } catch (const EDamagedContainer& e) {
    EXPECT_EQ(std::string(e.what()),
              "Container '" + path +
                  "' is damaged: the content of 'bomb.bin' expands to more than 2147483647 bytes, "
                  "more than a stored content can hold");
  }
  ::getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 512 * 1024) << "kilobytes taken by the refusal";
  EXPECT_EQ(TMyFile::ContentBound(2 << 20), kMaxContentSize);
  EXPECT_EQ(TMyFile::ContentBound(1000), 1032000);
}

// What the sink raises is its own failure, not damage of the container.
TEST(ContentBoundTest, ASinksFailurePassesThroughUnchanged) {
  test::TempDir dir;
  const std::string path = dir / "1.dat";
  test::WriteFile(path, test::RawContainer(1, 0, 0,
                                           {{.Name = "zeros.bin",
                                             .Block = test::ZerosZlibStream(2),
                                             .Compressed = true,
                                             .Hash = test::ZerosDigest(2)}}));
  TMyContaner records;
  records.LoadFromFile(path, lpRecords);
  EXPECT_EQ(
      test::ErrorOf([&] {
        records.StreamContentsFromFile(
            path, {records.Files[0]},
            [](TMyFile&) { return [](const uint8_t*, size_t) { throw Exception("disk full"); }; },
            [](TMyFile&) {});
      }),
      "disk full");
}

TEST(ReadContainerNumberTest, ReadsTheFourBytesAtOffset13) {
  test::TempDir dir;
  TMyContaner c;
  c.Number = 42;
  c.Author = std::string(100, 'x');
  c.SaveToFile(dir / "x.dat");
  EXPECT_EQ(TMyFS_Engine::ReadContainerNumber(dir / "x.dat"), 42);

  // Just long enough: the number is the last four bytes, little-endian.
  test::WriteFile(dir / "least.dat", std::string(13, 'h') + std::string("\x01\x02\x00\x80", 4));
  EXPECT_EQ(TMyFS_Engine::ReadContainerNumber(dir / "least.dat"),
            static_cast<int32_t>(0x80000201u));

  for (const size_t size : {size_t{0}, size_t{13}, size_t{16}}) {
    SCOPED_TRACE(size);
    test::WriteFile(dir / "short.dat", std::string(size, '\0'));
    try {
      TMyFS_Engine::ReadContainerNumber(dir / "short.dat");
      FAIL();
    } catch (const EDamagedContainer& e) {
      EXPECT_STREQ(e.what(), ("Container '" + dir / "short.dat" +
                              "' is damaged: it is too short to hold a container header")
                                 .c_str());
    }
  }
  std::filesystem::create_directory(dir / "folder.dat");
  try {
    TMyFS_Engine::ReadContainerNumber(dir / "folder.dat");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open file \"" + dir / "folder.dat" + "\". " + std::strerror(EISDIR));
  }
  // A FIFO opens at once and refuses the read, as any file that is not one.
  ASSERT_EQ(::mkfifo((dir / "fifo.dat").c_str(), 0666), 0);
  EXPECT_EQ(test::ErrorOf([&] { TMyFS_Engine::ReadContainerNumber(dir / "fifo.dat"); }),
            "Cannot open file \"" + dir / "fifo.dat" + "\". It is not a regular file");
  try {
    TMyFS_Engine::ReadContainerNumber(dir / "missing.dat");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"" + dir / "missing.dat" + "\".", 0),
              0u)
        << e.what();
  }
}

TEST(TMyFS_EngineTest, LoadContainersSkipsMissingFilesAndLoadsTheNewest) {
  test::TempDir dir;
  TMyFS_Engine fs(dir.Path());
  ForceDirectories(fs.ObjectsFolder());
  for (int n : {3, 1}) {
    TMyContaner c;
    c.Number = n;
    c.Files.Add()->SetName("f" + std::to_string(n));
    c.SaveToFile(dir / (".Quarv/Objects/" + std::to_string(n) + ".dat"));
  }
  TMyHistoryData history;
  history.Add("1.dat", 1);
  history.Add("2.dat", 2);
  history.Add("3.dat", 3);
  fs.LoadContainers(history);
  ASSERT_EQ(fs.Containers.Count(), 2);
  EXPECT_EQ(fs.Containers[0]->Number, 1);
  EXPECT_FALSE(fs.Containers[0]->Loaded);
  EXPECT_EQ(fs.Containers[0]->Files.Count(), 0);
  EXPECT_EQ(fs.Containers.Last()->Number, 3);
  EXPECT_TRUE(fs.Containers.Last()->Loaded);
  EXPECT_EQ(fs.Containers.Last()->Files[0]->Name(), "f3");
  EXPECT_EQ(fs.NextFreeNumber(), 4);
  EXPECT_EQ(fs.FindByNumber(2), nullptr);
  EXPECT_EQ(fs.FindByNumber(3), fs.Containers.Last());
  EXPECT_EQ(fs.Containers.Last()->GetFileName(), dir / ".Quarv/Objects/3.dat");

  fs.Containers.Last()->PreviousNumber = 1;
  EXPECT_EQ(fs.Containers.FindPrevious(*fs.Containers.Last()), fs.Containers[0]);
  EXPECT_EQ(fs.Containers.FindPrevious(*fs.Containers[0]), nullptr);

  fs.LoadContainers(TMyHistoryData());
  EXPECT_EQ(fs.Containers.Count(), 0);
  EXPECT_EQ(fs.NextFreeNumber(), 1);
}

TEST(TMyFS_EngineTest, NewestFileHoldingAnotherRevisionIsReported) {
  test::TempDir dir;
  TMyFS_Engine fs(dir.Path());
  ForceDirectories(fs.ObjectsFolder());
  TMyContaner c;
  c.Number = 1;
  c.SaveToFile(dir / ".Quarv/Objects/1.dat");
  c.Number = 2;
  c.SaveToFile(dir / ".Quarv/Objects/2.dat");
  // 2.dat's header claims revision 1 once its Number bytes are changed.
  std::string bytes = test::ReadFile(dir / ".Quarv/Objects/2.dat");
  bytes[kContainerNumberOffset] = 9;
  test::WriteFile(dir / ".Quarv/Objects/2.dat", bytes);
  test::WriteFile(dir / ".Quarv/Objects/9.dat", test::ReadFile(dir / ".Quarv/Objects/1.dat"));
  TMyHistoryData history;
  history.Add("1.dat", 1);
  history.Add("2.dat", 2);
  EXPECT_THROW(fs.LoadContainers(history), EDamagedContainer);
}

// ---- entries and the name index ----

TEST(TMyFileListTest, LookupsIgnoreAsciiCaseOnly) {
  TMyContaner c;
  TMyFile* readme = c.Files.FindOrAdd("Readme.txt");
  EXPECT_EQ(readme->UpperName(), "README.TXT");
  EXPECT_EQ(c.Files.FindByName("README.TXT"), readme);
  EXPECT_EQ(c.Files.FindOrAdd("readme.TXT"), readme);
  TMyFile* umlaut = c.Files.FindOrAdd("\xC3\xA4.txt");
  EXPECT_NE(c.Files.FindOrAdd("\xC3\x84.txt"), umlaut) << "letters outside a-z differ";
  EXPECT_EQ(c.Files.Count(), 3);
  int position = 7;
  EXPECT_EQ(c.Files.FindByName("nothing", &position), nullptr);
  EXPECT_EQ(position, -1);
  EXPECT_EQ(readme->Container(), &c);
  EXPECT_EQ(readme->Owner(), &c.Files);
}

// A linear reference for the index: what FindByName and FindLink must answer.
TMyFile* FirstByName(const TMyFileList& list, const std::string& upper) {
  for (const auto& e : list)
    if (e->UpperName() == upper) return e.get();
  return nullptr;
}
TMyFile* FirstLink(const TMyFileList& list, const std::string& upper, bool deleted) {
  for (const auto& e : list)
    if (e->UpperName() == upper && e->IsLink && e->Deleted == deleted) return e.get();
  return nullptr;
}

// Random adds, renames, copies, removals, sorts and clears over a pool of
// names; after every step each lookup (of every name, or of probes names
// drawn from the pool) must give what a linear scan gives.
void CheckIndexThroughRandomChanges(const std::vector<std::string>& names, int steps, unsigned seed,
                                    size_t probes = 0) {
  std::mt19937 random(seed);
  TMyContaner c;
  TMyFileList& list = c.Files;
  auto pick = [&](size_t n) { return static_cast<int>(random() % n); };
  for (int step = 0; step < steps; ++step) {
    const std::string& name = names[static_cast<size_t>(pick(names.size()))];
    switch (pick(10)) {
      case 0:
        list.Add()->SetName(name);
        break;
      case 1:
        list.FindOrAdd(name);
        break;
      case 2:
        if (!list.Empty()) list.AddCopy(*list[pick(list.Count())]);
        break;
      case 3:
        if (!list.Empty()) list[pick(list.Count())]->SetName(name);
        break;
      case 4:
        if (!list.Empty()) list.Delete(pick(list.Count()));
        break;
      case 5:
        if (!list.Empty()) {
          std::unique_ptr<TMyFile> out = list.Detach(pick(list.Count()));
          EXPECT_EQ(out->Owner(), nullptr);
          if (pick(2) == 0) list.Add(std::move(out));
        }
        break;
      case 6:
        if (pick(20) == 0) list.SortByName();
        break;
      case 7:
        if (pick(50) == 0) list.Clear();
        break;
      case 8:
        if (!list.Empty()) {
          TMyFile* e = list[pick(list.Count())];
          e->IsLink = pick(2) == 0;
          e->Deleted = pick(2) == 0;
        }
        break;
      case 9: {
        TMyContaner other;
        TMyFile* source = other.Files.Add();
        source->SetName(name);
        source->Version = step;
        const bool present = list.FindByName(name) != nullptr;
        TMyFile* copy = list.AddCopyUnlessPresent(*source);
        ASSERT_EQ(copy == nullptr, present) << "step " << step << " name '" << name << "'";
        if (copy != nullptr) {
          ASSERT_EQ(copy, list.Last());
          ASSERT_EQ(copy->Name(), name);
          ASSERT_EQ(copy->Version, step);
        }
        break;
      }
    }
    for (int i = 0; i < list.Count(); ++i) ASSERT_EQ(list.IndexOf(list[i]), i) << "step " << step;
    std::vector<std::string> drawn;
    for (size_t k = 0; k < probes; ++k)
      drawn.push_back(names[static_cast<size_t>(pick(names.size()))]);
    for (const std::string& probe : probes == 0 ? names : drawn) {
      std::string up = probe;
      for (char& ch : up) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      int position = -2;
      TMyFile* found = list.FindByName(probe, &position);
      ASSERT_EQ(found, FirstByName(list, up)) << "step " << step << " name '" << probe << "'";
      ASSERT_EQ(position, found ? list.IndexOf(found) : -1);
      for (bool deleted : {false, true})
        ASSERT_EQ(list.FindLink(probe, deleted), FirstLink(list, up, deleted))
            << "step " << step << " link '" << probe << "'";
    }
  }
}

TEST(TMyFileListTest, IndexAgreesWithALinearScanThroughEveryChange) {
  CheckIndexThroughRandomChanges({"a", "A", "b", "B.txt", "b.TXT", "", "c\\d", "C\\D"}, 4000,
                                 20240611);
}

// Enough names for the index to grow several times and to remove names from
// the middle of long runs of colliding slots.
TEST(TMyFileListTest, IndexAgreesWithALinearScanOverManyNames) {
  std::vector<std::string> names;
  for (int i = 0; i < 150; ++i) {
    names.push_back("dir\\f" + std::to_string(i));
    names.push_back("DIR\\F" + std::to_string(i));
  }
  CheckIndexThroughRandomChanges(names, 3000, 7, 24);
}

TEST(TMyFileListTest, SortIsOrdinalOnUpperCaseNames) {
  TMyContaner c;
  for (const char* name : {"b.txt", "B.txt", "_x", "a.txt", "Z", "\xC3\xA4", "a\\b"})
    c.Files.Add()->SetName(name);
  TMyFile* firstB = c.Files[0];
  c.SortFiles();
  std::vector<std::string> order;
  for (const auto& e : c.Files) order.push_back(e->Name());
  EXPECT_EQ(order,
            (std::vector<std::string>{"a.txt", "a\\b", "b.txt", "B.txt", "Z", "_x", "\xC3\xA4"}));
  EXPECT_EQ(c.Files.FindByName("B.TXT"), firstB) << "equal names keep their order";
}

// Copying a whole list at once gives what copying it entry by entry gives,
// names repeated (in either list, in any case), empty or not; the copies are
// found by name afterwards like any entry.
TEST(TMyFileListTest, AddCopiesUnlessPresentMatchesCopyingOneByOne) {
  std::mt19937 random(5);
  const std::vector<std::string> pool = {"a", "A", "b", "c\\d", "C\\D", "e", ""};
  for (int round = 0; round < 300; ++round) {
    TMyContaner source, bulk, single;
    const int sourceCount = static_cast<int>(random() % 6);
    for (int i = 0; i < sourceCount; ++i) {
      TMyFile* entry = source.Files.Add();
      entry->SetName(pool[random() % pool.size()]);
      entry->Version = i + 1;
    }
    const int targetCount = static_cast<int>(random() % 4);
    for (int i = 0; i < targetCount; ++i) {
      const std::string& name = pool[random() % pool.size()];
      bulk.Files.Add()->SetName(name);
      single.Files.Add()->SetName(name);
    }
    const int first = bulk.Files.AddCopiesUnlessPresent(
        source.Files, [](TMyFile& copy) { copy.ChangeKind = ckUnchanged; });
    EXPECT_EQ(first, targetCount);
    for (int i = 0; i < bulk.Files.Count(); ++i)
      EXPECT_EQ(bulk.Files[i]->ChangeKind, i < first ? ckNone : ckUnchanged) << "round " << round;
    for (const auto& entry : source.Files) single.Files.AddCopyUnlessPresent(*entry);
    ASSERT_EQ(bulk.Files.Count(), single.Files.Count()) << "round " << round;
    for (int i = 0; i < bulk.Files.Count(); ++i) {
      EXPECT_EQ(bulk.Files[i]->Name(), single.Files[i]->Name()) << "round " << round;
      EXPECT_EQ(bulk.Files[i]->Version, single.Files[i]->Version) << "round " << round;
    }
    for (const std::string& name : pool) {
      TMyFile* found = bulk.Files.FindByName(name);
      EXPECT_EQ(found, FirstByName(bulk.Files, UpperCaseAscii(name))) << "round " << round;
      bulk.Files.FindOrAdd(name + "x")->SetName(name);  // renamed while indexed
      EXPECT_EQ(bulk.Files.FindByName(name), FirstByName(bulk.Files, UpperCaseAscii(name)));
    }
  }
}

// Lists shaped like the ones the store sorts (a few changed entries before a
// long sorted run, wholly sorted, reversed, shuffled with repeated names)
// end in the order of a stable sort by upper-case name.
TEST(TMyFileListTest, SortAgreesWithAStableSortOfTheUpperCaseNames) {
  std::mt19937 random(11);
  std::vector<std::string> pool;
  for (int i = 0; i < 60; ++i) pool.push_back((i % 3 ? "f" : "F") + std::to_string(i % 40));
  pool.push_back("");
  std::vector<std::string> sorted = pool;
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::string> shuffled = pool;
  std::shuffle(shuffled.begin(), shuffled.end(), random);
  std::vector<std::string> reversed(sorted.rbegin(), sorted.rend());
  std::vector<std::string> changedThenSorted = {"zz", "a", "f7"};
  changedThenSorted.insert(changedThenSorted.end(), sorted.begin(), sorted.end());
  std::vector<std::string> sortedThenChanged = sorted;
  sortedThenChanged.push_back("b");
  for (const auto& names : {sorted, shuffled, reversed, changedThenSorted, sortedThenChanged,
                            std::vector<std::string>{}, std::vector<std::string>{"x"}}) {
    TMyContaner c;
    std::vector<TMyFile*> want;
    for (const std::string& name : names) {
      TMyFile* entry = c.Files.Add();
      entry->SetName(name);
      want.push_back(entry);
    }
    std::stable_sort(want.begin(), want.end(), [](const TMyFile* a, const TMyFile* b) {
      return a->UpperName() < b->UpperName();
    });
    c.SortFiles();
    ASSERT_EQ(c.Files.Count(), static_cast<int>(want.size()));
    for (int i = 0; i < c.Files.Count(); ++i) {
      ASSERT_EQ(c.Files[i], want[static_cast<size_t>(i)]) << "position " << i;
      ASSERT_EQ(c.Files.IndexOf(c.Files[i]), i);
    }
    for (const std::string& name : names)
      EXPECT_EQ(c.Files.FindByName(name), FirstByName(c.Files, UpperCaseAscii(name))) << name;
  }
}

TEST(TMyFileTest, AssignCopiesTheEntryButNotItsLinkOrBytes) {
  TMyContaner c;
  FillSmallRevision(c);
  TMyFile* from = c.Files[1];
  from->Seen = true;
  from->Untouched = false;
  from->Compressed = true;
  from->OffsetSlotPos = 5;
  from->ContentOffset = 6;
  TMyContaner other;
  TMyFile* to = other.Files.AddCopy(*from);
  EXPECT_EQ(to->Name(), "d\\b.txt");
  EXPECT_EQ(other.Files.FindByName("D\\B.TXT"), to);
  EXPECT_EQ(to->Version, 4);
  EXPECT_EQ(to->DataRevision, 1);
  EXPECT_TRUE(to->Deleted);
  EXPECT_TRUE(to->Seen);
  EXPECT_FALSE(to->Untouched);
  EXPECT_EQ(to->ChangeKind, ckUnchanged);
  EXPECT_FALSE(to->IsLink);
  EXPECT_EQ(to->LinkName, "");
  EXPECT_FALSE(to->Compressed);
  EXPECT_EQ(to->OffsetSlotPos, 0);
  EXPECT_EQ(to->ContentOffset, 0);
  EXPECT_EQ(to->Content.Size(), 0);

  try {
    to->Assign(c);
    FAIL() << "a container was assigned to an entry";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TMyContaner to a TMyFile");
  }
}

TEST(TMyContanerTest, AssignCopiesEntriesWithContentButNoHeader) {
  TMyContaner from;
  FillSmallRevision(from);
  TMyContaner to;
  to.Number = 9;
  to.Files.Add()->SetName("old");
  to.Assign(from);
  EXPECT_EQ(to.Number, 9);
  EXPECT_EQ(to.Author, "");
  ASSERT_EQ(to.Files.Count(), 2);
  EXPECT_EQ(to.Files.FindByName("old"), nullptr);
  EXPECT_EQ(Text(to.Files[0]->Content), "xyz");
  EXPECT_EQ(to.Files[1]->Owner(), &to.Files);
  EXPECT_THROW(to.Assign(*from.Files[0]), Exception);
}

}  // namespace
}  // namespace pellmor
