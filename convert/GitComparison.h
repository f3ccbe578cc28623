// The Git side of `quarv verify --git`: each revision of the store is
// matched with the commit it was recorded from (walking the repository as
// the conversion does and comparing message, author, e-mail and date, as the
// conversion records them) and every file of the revision is compared with
// that commit's tree. Text files count as equal when their lines are equal,
// line ends aside, as the change detection compares them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "foundation/uMyHash.h"
#include "git/uGitLibrary.h"
#include "scan/uMyFileUtils.h"
#include "store/StoreVerifier.h"
#include "store/uQuarvEngine.h"

namespace pellmor {

class TMyContaner;
class TMyFile;

class TGitComparison {
 public:
  // Opens the repository of the working folder (ending in '/') and reads the
  // commits of its walk (OpenCommitWalk: oldest first, from HEAD, none that a
  // tag reaches), and the store's Ignore.txt. Raises OpenCommitWalk's errors
  // and the file layer's. sink is borrowed for the comparison's lifetime.
  TGitComparison(const std::string& folder, const TProblemSink& sink);
  ~TGitComparison();

  // Compares a revision, read whole (its own bytes in Content), with its
  // commit, reporting against its container file: no matching commit, a
  // file of the commit missing from the revision, a file of the revision
  // that the commit lacks, bytes that differ, a symbolic link or executable
  // bit on one side only. Files the conversion leaves out (inside ".git" or
  // ".Quarv", or named in Ignore.txt) are not asked for. Call for every
  // revision in ascending number: the lines of the text files a revision
  // holds are remembered for the later revisions that carry them.
  void Compare(TMyContaner& revision, const std::string& file);

 private:
  struct TCommitKey {
    git_oid Id;
    std::string ShortId;
    std::string Comment;
    std::string Author;
    std::string Email;
    uint64_t Date = 0;
  };
  struct TTreeFile {
    std::string Name;  // store form: '\' between folders
    git_oid Blob;
    git_filemode_t Mode;
  };

  void ReadCommits();
  // The position of the commit revision was recorded from, or -1.
  int MatchCommit(const TMyContaner& revision);
  std::vector<TTreeFile> TreeFiles(const TCommitKey& commit);
  void RememberLines(TMyContaner& revision);
  struct TBlobFree {
    void operator()(git_blob* blob) const { git_blob_free(blob); }
  };
  using TBlob = std::unique_ptr<git_blob, TBlobFree>;
  // Raises "Cannot read blob <id>. <libgit2 text>".
  TBlob LoadBlob(const git_oid& blob) const;
  bool SameBytes(const TMyFile& entry, const git_oid& blob);
  const TContentDigest& BlobDigest(const git_oid& blob);
  const TContentDigest& BlobLineDigest(const git_oid& blob);

  const TProblemSink& sink_;
  std::unique_ptr<TCommitWalk> walk_;
  std::vector<TCommitKey> commits_;
  size_t nextCommit_ = 0;  // where the search for the next revision's commit starts
  TFileIgnoreList leftOut_;
  TQuarv_IgonreList ignored_;
  // Digests of blob bytes and of their lines, by blob id (hex).
  std::unordered_map<std::string, TContentDigest> blobDigests_;
  std::unordered_map<std::string, TContentDigest> blobLineDigests_;
  // The line digest of each text file a revision holds bytes of, by
  // (revision, upper-case name).
  std::map<std::pair<int32_t, std::string>, TContentDigest> storedLineDigests_;
};

}  // namespace pellmor
