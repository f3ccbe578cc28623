// Access to the Git repository through libgit2: the once-per-process
// initialisation, the commit walk (oldest first, reachable from HEAD and from
// no tag), reading one commit, and checking a commit's tree out.
//
// Every libgit2 handle is held by an owner that frees it (no leaks on any
// path). Failures that end a command raise Exception with a message naming
// the folder or commit and carrying libgit2's own error text. Nothing here
// uses Qt; the commit listing of the window and the conversion run share it.
#pragma once

#include <git2.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace pellmor {

// Initialises libgit2 once per process (thread-safe); later calls return at
// once. libgit2 is linked, so this cannot fail. libgit2 is never shut down:
// its state lives until the process ends.
void LoadGitLibrary();

// libgit2's message for the last failure on this thread, given that
// failure's result code; when libgit2 left none, "libgit2 error <result>".
std::string GitErrorText(int result);

// Owners of libgit2 handles.
struct TGitRepositoryFree {
  void operator()(git_repository* repository) const { git_repository_free(repository); }
};
struct TGitRevwalkFree {
  void operator()(git_revwalk* walk) const { git_revwalk_free(walk); }
};
struct TGitCommitFree {
  void operator()(git_commit* commit) const { git_commit_free(commit); }
};
struct TGitTreeFree {
  void operator()(git_tree* tree) const { git_tree_free(tree); }
};
using TGitRepository = std::unique_ptr<git_repository, TGitRepositoryFree>;
using TGitRevwalk = std::unique_ptr<git_revwalk, TGitRevwalkFree>;
using TGitCommit = std::unique_ptr<git_commit, TGitCommitFree>;
using TGitTree = std::unique_ptr<git_tree, TGitTreeFree>;

// A repository and its commit walk, ready for the loop. Owns both; the
// repository outlives the walk (the walk is freed first).
class TCommitWalk {
 public:
  TCommitWalk(TGitRepository repository, TGitRevwalk walk);

  // Writes the next commit id into id and returns true; false at the end of
  // the history (any non-zero result of the walk ends it).
  bool Next(git_oid& id);

  // Borrowed; valid while this walk lives.
  git_repository* Repository() const { return repository_.get(); }

 private:
  TGitRepository repository_;
  TGitRevwalk walk_;  // declared after repository_: destroyed before it
};

// Opens the repository at path, passed to libgit2 exactly as given (flags 0,
// no ceiling folders, so a folder inside a working tree finds the repository
// that holds it), and sets up the walk: topological order, reversed (parents
// before children, oldest first), from HEAD, hiding every commit that a tag
// reaches. A HEAD that names no commit gives an empty walk.
// Raises "Cannot open Git repository "<path>". <libgit2 text>" or
// "Cannot walk the commits of Git repository "<path>". <libgit2 text>".
std::unique_ptr<TCommitWalk> OpenCommitWalk(const std::string& path);

// The commit with exactly this id (all 40 digits must match). Raises
// "Cannot read commit <40-digit id>. <libgit2 text>" when there is none.
TGitCommit LookupCommit(git_repository* repository, const git_oid& id);

// How many hex digits of an id the program shows as a commit's short id.
inline constexpr int kShortIdLength = 9;

// The first min(n, 40) characters of the id's 40 lowercase hex digits.
std::string OidToText(const git_oid& id, int n);

// Days since 1899-12-30 00:00 with the time of day as fraction, for a Git
// time: seconds since 1970-01-01 00:00 UTC shifted by offset minutes, i.e.
// the wall-clock time of the zone that the offset names. The value carries no zone.
double GitTimeToDateTime(int64_t seconds, int offsetMinutes);

// GitTimeToDateTime of the commit's committer time and offset.
double CommitDateTime(const git_commit* commit);

// What the program reads of one commit. The date-time is the committer's
// (wall-clock, in the committer's zone); name and e-mail are the author's.
struct TGitCommitInfo {
  std::string ShortId;       // first 9 hex digits of the id
  std::string Message;       // UTF-8, see DecodeCommitMessage
  double DateTime = 0;       // CommitDateTime
  std::string AuthorName;    // as libgit2 returns it
  std::string AuthorEmail;   // as libgit2 returns it
  int64_t CommitTime = 0;    // committer time, seconds since 1970-01-01 00:00 UTC
  int CommitTimeOffset = 0;  // committer zone's offset from UTC, minutes
};

// Reads a commit's fields; the commit is borrowed.
TGitCommitInfo ReadCommit(const git_commit* commit);

// How long a checkout waits for another Git process to release the index.
inline constexpr std::chrono::milliseconds kIndexLockWait{10000};

// Whether a checkout writes the index file (.git/index) or only updates the
// repository's index in memory, which the next checkout through the same
// repository object takes as its baseline. A run of checkouts writes it at
// its last one: each write costs a file and a digest of every entry.
enum class IndexWrite { kWrite, kInMemory };

// Makes the working folder match the commit's tree, overwriting local changes
// (checkout options of version 1, strategy force), and updates the index to
// it (written to its file, or in memory: indexWrite); only files that differ
// from the index are written. HEAD and the branch are left as they are.
// Raises "Cannot check out commit <short id>. <libgit2 text>".
//
// previous: the commit this function checked out last into the same folder,
// which nothing has changed since; then only the paths whose entries differ
// between the two trees are looked at and written, instead of every file of
// the folder (nothing at all when the trees are equal).
//
// A checkout writes files under the attribute files (.gitattributes) it finds
// in the folder and the index, and passes over a file whose blob the index
// holds already. So without previous, or when the attribute files differ
// from previous's, every file of the tree is written once more after it,
// under the commit's own attributes, now in place.
//
// Before it, RefuseLinksInTheWay raises its error for a symbolic link on the
// way to a path the checkout writes or removes. Afterwards ConfirmCheckout holds the
// folder against the tree at every path the checkout was to write or remove
// (the differing paths; without previous, every file of the tree and every
// path the index held) and raises its error for a path that is not as the
// commit holds it.
// A file the checkout writes where a file is already is written as a new file
// in its place, never rewritten where it is (a reader of the old one, such as
// a "git status" beside it, keeps what it reads). Another Git process (a "git
// status" of a shell prompt, say) may hold the index lock for a moment: the
// checkout is then tried again until lockWait has passed, and fails with
// "Cannot check out commit <short id>. The Git index is locked: another Git
// process holds '<repository>/.git/index.lock' ...". Each file the checkout
// writes is a crash point (foundation/Platform.h).
void CheckoutCommit(git_repository* repository, const git_commit* commit,
                    const git_commit* previous = nullptr,
                    std::chrono::milliseconds lockWait = kIndexLockWait,
                    IndexWrite indexWrite = IndexWrite::kWrite);

// The path of the repository's index lock file (<git folder>/index.lock).
std::string IndexLockFileName(git_repository* repository);

}  // namespace pellmor
