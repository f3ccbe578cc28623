#include <gtest/gtest.h>
#include <unistd.h>

#include <future>
#include <string>
#include <vector>

#include "foundation/Exception.h"
#include "scan/WorkingFileReader.h"
#include "tests/support/Contents.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

using test::TempDir;

using test::BytesOf;
using test::DigestOf;

class WorkingFileReaderTest : public ::testing::Test {
 protected:
  // n files f0 .. f(n-1) of different sizes, plus an empty file and a link.
  std::vector<std::pair<std::string, std::string>> MakeFiles(int n) {
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < n; ++i) {
      const std::string bytes(static_cast<size_t>(i * 997 % 5000), static_cast<char>('a' + i % 26));
      test::WriteFile(dir_ / ("f" + std::to_string(i)), bytes);
      files.emplace_back(dir_ / ("f" + std::to_string(i)), bytes);
    }
    test::WriteFile(dir_ / "empty", "");
    files.emplace_back(dir_ / "empty", "");
    EXPECT_EQ(::symlink("f1", (dir_ / "link").c_str()), 0);
    files.emplace_back(dir_ / "link", "f1");
    return files;
  }

  static std::vector<std::string> PathsOf(
      const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<std::string> paths;
    for (const auto& file : files) paths.push_back(file.first);
    return paths;
  }

  TempDir dir_;
};

TEST_F(WorkingFileReaderTest, DeliversEveryFileInOrderWhateverTheThreadsAndWindow) {
  const auto files = MakeFiles(50);
  const struct {
    int threads;
    int filesAhead;
    int64_t bytesAhead;
  } cases[] = {{1, 1, 1}, {1, 64, 1 << 20}, {2, 1, 1}, {2, 8, 4096}, {4, 64, 1 << 20}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.threads << " threads, " << c.filesAhead << " files, "
                                    << c.bytesAhead << " bytes");
    TWorkingFileReader reader(PathsOf(files), c.threads, c.filesAhead, c.bytesAhead);
    TMemoryStream bytes;
    bytes.Assign("old", 3);
    for (const auto& [path, expected] : files) {
      TContentDigest digest;
      reader.Take(path, bytes, digest);
      EXPECT_EQ(BytesOf(bytes), expected) << path;
      EXPECT_EQ(bytes.Position(), 0);
      EXPECT_EQ(digest, DigestOf(expected)) << path;
    }
  }
}

TEST_F(WorkingFileReaderTest, AReadErrorComesWithItsFileAndOnlyThere) {
  test::WriteFile(dir_ / "a", "first");
  test::WriteFile(dir_ / "c", "third");
  TWorkingFileReader reader({dir_ / "a", dir_ / "missing", dir_ / "c"}, 2, 8, 1 << 20);
  TMemoryStream bytes;
  TContentDigest digest;
  reader.Take(dir_ / "a", bytes, digest);
  EXPECT_EQ(BytesOf(bytes), "first");
  try {
    reader.Take(dir_ / "missing", bytes, digest);
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open file \"" + (dir_ / "missing") + "\". No such file or directory");
  }
  reader.Take(dir_ / "c", bytes, digest);
  EXPECT_EQ(BytesOf(bytes), "third");
}

TEST_F(WorkingFileReaderTest, TakingOutOfTheOrderIsRefused) {
  test::WriteFile(dir_ / "a", "1");
  test::WriteFile(dir_ / "b", "2");
  TWorkingFileReader reader({dir_ / "a", dir_ / "b"}, 1, 8, 1 << 20);
  TMemoryStream bytes;
  TContentDigest digest;
  EXPECT_THROW(reader.Take(dir_ / "b", bytes, digest), Exception);
  reader.Take(dir_ / "a", bytes, digest);
  reader.Take(dir_ / "b", bytes, digest);
  EXPECT_THROW(reader.Take(dir_ / "b", bytes, digest), Exception) << "beyond the last file";
  EXPECT_EQ(BytesOf(bytes), "2");
}

// With every worker thread of the process busy, no worker of the reader
// starts: the caller reads every file itself instead of waiting, and the
// reader ends without waiting for its workers.
TEST_F(WorkingFileReaderTest, DeliversEveryFileWhenNoWorkerThreadIsFree) {
  std::promise<void> release;
  const std::shared_future<void> released = release.get_future().share();
  std::vector<TWorkerTask> busy;
  // Queued first, these keep every thread until released, however many there are.
  for (unsigned i = 0; i < TWorkerThreads::kMostShared; ++i)
    busy.push_back(TWorkerThreads::Shared().Start([released] { released.wait(); }));
  const auto files = MakeFiles(20);
  {
    TWorkingFileReader reader(PathsOf(files), 4, 8, 1 << 20);
    TMemoryStream bytes;
    TContentDigest digest;
    for (const auto& [path, expected] : files) {
      reader.Take(path, bytes, digest);
      EXPECT_EQ(BytesOf(bytes), expected) << path;
      EXPECT_EQ(digest, DigestOf(expected)) << path;
    }
  }
  release.set_value();
}

TEST_F(WorkingFileReaderTest, StopsWithFilesNotTaken) {
  const auto files = MakeFiles(200);
  for (int taken : {0, 1, 100}) {
    TWorkingFileReader reader(PathsOf(files), 4, 2, 1 << 20);
    TMemoryStream bytes;
    TContentDigest digest;
    for (int i = 0; i < taken; ++i) reader.Take(files[static_cast<size_t>(i)].first, bytes, digest);
  }  // each reader returns from its destructor
  TWorkingFileReader none({}, 2, 8, 1 << 20);
}

}  // namespace
}  // namespace pellmor
