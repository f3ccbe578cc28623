// The commit record (.Quarv/Commits.txt): its lines byte for byte, the lines
// that make it damaged, and what is wrong with a record against its history.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store/CommitRecord.h"
#include "tests/support/ErrorText.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

const std::string kA(40, 'a');
const std::string kB = std::string(39, 'b') + "0";
const std::string kC = "0123456789abcdef0123456789abcdef01234567";

TEST(CommitRecordTest, SavesEachCommitWithItsRevisionOrADashAndReadsItBack) {
  test::TempDir dir;
  const std::string path = dir / "Commits.txt";
  TCommitRecord record;
  record.Add(kA, 1);
  record.Add(kB, 0);
  record.Add(kC, 12);
  record.Save(path);
  EXPECT_EQ(test::ReadFile(path), kA + " 1\r\n" + kB + " -\r\n" + kC + " 12\r\n");

  const TCommitRecord back = TCommitRecord::Load(path);
  ASSERT_EQ(back.Lines().size(), 3u);
  EXPECT_EQ(back.Lines()[1].Commit, kB);
  EXPECT_EQ(back.Lines()[1].Revision, 0);
  EXPECT_EQ(back.FindCommit(kC)->Revision, 12);
  EXPECT_EQ(back.FindRevision(1)->Commit, kA);
  EXPECT_EQ(back.FindRevision(0), nullptr) << "a commit that recorded nothing names no revision";
  EXPECT_EQ(back.FindCommit(std::string(40, 'f')), nullptr);
  EXPECT_EQ(back.NewestRevision(), 12);

  EXPECT_TRUE(TCommitRecord::Load(dir / "missing.txt").Lines().empty());
  test::WriteFile(path, kA + " 1\n" + kB + " 2");  // LF, and no line end at the end
  EXPECT_EQ(TCommitRecord::Load(path).NewestRevision(), 2);
}

TEST(CommitRecordTest, ALineOfAnyOtherFormIsDamage) {
  test::TempDir dir;
  const std::string path = dir / "Commits.txt";
  for (const std::string& line : {
           std::string(""),
           kA,
           kA + " ",
           kA + "  1",
           kA + " 01",
           kA + " 0",
           kA + " +1",
           kA + " -1",
           kA + " 1 ",
           kA + " 2147483648",
           kA + " 1.5",
           kA.substr(1) + " 1",
           kA + "a 1",
           std::string(40, 'A') + " 1",
           std::string(39, 'a') + "g 1",
       }) {
    SCOPED_TRACE("'" + line + "'");
    test::WriteFile(path, kB + " 1\r\n" + line + "\r\n");
    EXPECT_EQ(test::ErrorOf([&] { TCommitRecord::Load(path); }),
              "The commit record '" + path +
                  "' is damaged: line 2 is not '<commit id> <revision>' or '<commit id> -'");
  }
  test::WriteFile(path, kB + " 2147483647\r\n");
  EXPECT_EQ(TCommitRecord::Load(path).NewestRevision(), 2147483647);
}

TEST(CommitRecordTest, ProblemsAgainstTheHistory) {
  struct Line {
    std::string Commit;
    int32_t Revision;
  };
  const struct {
    const char* what;
    std::vector<Line> lines;
    std::vector<int32_t> history;
    std::vector<std::string> problems;
  } cases[] = {
      {"a whole record", {{kA, 1}, {kB, 0}, {kC, 2}}, {1, 2}, {}},
      {"revisions the record does not name (recorded before it, or cut short)",
       {{kB, 2}},
       {1, 2, 3},
       {}},
      {"a commit twice",
       {{kA, 1}, {kA, 2}},
       {1, 2},
       {"line 2 names commit " + kA + " again (first on line 1)"}},
      {"a revision twice",
       {{kA, 1}, {kB, 1}},
       {1},
       {"line 2 names revision 1 again (first on line 1)"}},
      {"revisions out of order",
       {{kA, 2}, {kB, 1}},
       {1, 2},
       {"line 2 names revision 1 after revision 2"}},
      {"a revision the history does not list",
       {{kA, 1}, {kB, 3}},
       {1, 2},
       {"line 2 names revision 3, which the history does not list"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TCommitRecord record;
    for (const Line& line : c.lines) record.Add(line.Commit, line.Revision);
    EXPECT_EQ(record.Problems(c.history), c.problems);
  }
}

}  // namespace
}  // namespace pellmor
