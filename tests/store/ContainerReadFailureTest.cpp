// A container that cannot be read is told apart from one that is damaged:
// the system's failure to read comes through as the file layer's own error,
// bytes that are not a container as "Container ... is damaged", and what is
// not there as "not found".
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "foundation/Exception.h"
#include "foundation/Streams.h"
#include "store/QuarvReader.h"
#include "store/uMyFS.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

constexpr char kPath[] = "/store/.Quarv/Objects/3.dat";

// The bytes of a container, read through the file layer until a given
// offset, where the disk fails.
class FailingStream : public TStream {
 public:
  FailingStream(const TMemoryStream& bytes, int64_t failAt) : failAt_(failAt) {
    bytes_.Assign(bytes.Memory(), static_cast<size_t>(bytes.Size()));
  }

  size_t Read(void* buffer, size_t count) override {
    if (Position() + static_cast<int64_t>(count) > failAt_)
      ThrowSystemError("Cannot read file", kPath, EIO);
    return bytes_.Read(buffer, count);
  }
  size_t Write(const void*, size_t) override { return 0; }
  int64_t Size() const override { return bytes_.Size(); }
  void SetSize(int64_t) override {}
  int64_t Position() const override { return bytes_.Position(); }
  void SetPosition(int64_t position) override { bytes_.SetPosition(position); }
  std::string FileName() const override { return kPath; }

 private:
  TMemoryStream bytes_;
  int64_t failAt_;
};

// A revision of three files, one large enough to be stored compressed.
void SaveRevision(TMemoryStream& image) {
  TMyContaner revision;
  revision.Number = 3;
  revision.Author = "ann";
  for (const char* name : {"a.txt", "big.bin", "c\\d.txt"}) {
    TMyFile* entry = revision.Files.Add();
    entry->SetName(name);
    const std::string bytes(name[0] == 'b' ? 4000 : 20, name[0]);
    entry->Content.Assign(bytes.data(), bytes.size());
    entry->ComputeHash();
    entry->DataRevision = 3;
  }
  revision.SaveToStream(image);
}

struct Failure {
  std::string message;
  TErrorKind kind = ekGeneral;
};

template <typename Action>
Failure FailureOf(Action action) {
  try {
    action();
  } catch (const Exception& e) {
    return {e.what(), e.Kind()};
  }
  ADD_FAILURE() << "no error";
  return {};
}

TEST(ContainerReadFailureTest, AReadErrorAnywhereIsReportedAsItselfNotAsDamage) {
  TMemoryStream image;
  SaveRevision(image);
  const std::string readError =
      "Cannot read file \"" + std::string(kPath) + "\". " + std::strerror(EIO);
  // Header, entry records and content blocks alike.
  for (int64_t failAt = 0; failAt < image.Size(); failAt += 7) {
    SCOPED_TRACE(failAt);
    FailingStream stream(image, failAt);
    TMyContaner container;
    const Failure failure = FailureOf([&] { container.LoadFromStream(stream, lpEverything); });
    EXPECT_EQ(failure.message, readError);
    EXPECT_EQ(failure.kind, ekInputOutput);
  }
}

TEST(ContainerReadFailureTest, BytesThatAreNotAContainerAreDamage) {
  TMemoryStream image;
  SaveRevision(image);
  for (const int64_t size : {int64_t{3}, int64_t{40}, image.Size() - 1}) {
    SCOPED_TRACE(size);
    TMemoryStream cut;
    cut.Assign(image.Memory(), static_cast<size_t>(size));
    TMyContaner container;
    const Failure failure = FailureOf([&] { container.LoadFromStream(cut, lpEverything); });
    EXPECT_EQ(failure.message.rfind("Container '(memory stream)' is damaged: ", 0), 0u)
        << failure.message;
    EXPECT_EQ(failure.kind, ekDamaged);
  }
}

TEST(ContainerReadFailureTest, WhatIsNotThereIsNotFound) {
  test::TempDir dir;
  std::filesystem::create_directories(dir / "work/.Quarv/Objects");
  test::WriteFile(dir / "work/.Quarv/History.txt", "1.dat\r\n");
  const TQuarvReader reader(dir / "work");
  struct Case {
    const char* name;
    std::function<void()> action;
    std::string message;
  };
  const Case cases[] = {
      {"a missing container file",
       [&] { TMyContaner().LoadFromFile(dir / "work/.Quarv/Objects/1.dat"); },
       "Cannot open file \"" + dir / "work/.Quarv/Objects/1.dat" + "\". No such file or directory"},
      {"a folder without a store", [&] { TQuarvReader(dir.Path()); },
       "No Quarv store in '" + dir.Path() + "'"},
      {"a revision the history does not list", [&] { reader.ReadRevision(2, lpRecords); },
       "Revision 2 does not exist in the store '" + dir / "work/" + "'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Failure failure = FailureOf(c.action);
    EXPECT_EQ(failure.message, c.message);
    EXPECT_EQ(failure.kind, ekNotFound);
  }
}

}  // namespace
}  // namespace pellmor
