// Matching a store's revisions with the commits they were recorded from.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "convert/RevisionCommits.h"
#include "foundation/DateTime.h"
#include "store/uMyFS.h"
#include "store/uQuarvEngine.h"
#include "tests/support/GitRepoBuilder.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

// A revision holding the fields a conversion gives it.
std::unique_ptr<TMyContaner> RevisionOf(const TRecordedFields& fields) {
  auto revision = std::make_unique<TMyContaner>();
  revision->Comment = fields.Comment;
  revision->Author = fields.Author;
  revision->Email = fields.Email;
  revision->Date = fields.Date;
  return revision;
}

TEST(RevisionCommitsTest, ARevisionMatchesTheCommitItWasRecordedFrom) {
  test::TempDir dir;
  test::GitRepoBuilder repo(dir.Path());
  test::CommitOptions anonymous;
  anonymous.Author.Name = "";
  anonymous.Author.Email = "";
  anonymous.Author.Seconds = 1700000000;
  anonymous.Author.OffsetMinutes = 120;
  repo.Commit("first\n");
  repo.CommitRawMessage("second\nwith a body\n", anonymous);
  repo.Commit("third\n");
  const std::vector<TWalkedCommit> commits = ReadWalkedCommits(*OpenCommitWalk(repo.Folder()));
  ASSERT_EQ(commits.size(), 3u);

  // As a revision records it: CR LF line ends, the store's defaults for an
  // empty author and e-mail, the committer's instant in UTC.
  const TRecordedFields& second = commits[1].Recorded;
  EXPECT_EQ(second.Comment, "second\r\nwith a body\r\n");
  EXPECT_EQ(second.Author, TQuarv_Engine::kDefaultAuthor);
  EXPECT_EQ(second.Email, TQuarv_Engine::kDefaultEmail);
  EXPECT_EQ(second.Date, UnixTimeToFileTime(1700000000, 0));

  const auto revision = RevisionOf(second);
  EXPECT_EQ(MatchRevision(commits, *revision, 0), 1);
  EXPECT_EQ(MatchRevision(commits, *revision, 2), 1) << "the search goes round once";
  for (const auto change : {+1, -1}) {
    const auto other = RevisionOf(second);
    other->Date += change;
    EXPECT_EQ(MatchRevision(commits, *other, 0), -1);
  }
  const auto otherAuthor = RevisionOf(second);
  otherAuthor->Author = "";
  EXPECT_EQ(MatchRevision(commits, *otherAuthor, 0), -1);
}

}  // namespace
}  // namespace pellmor
