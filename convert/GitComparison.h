// The Git side of `quarv verify --git`: each revision of the store is
// matched with the commit it was recorded from (the one the store's commit
// record names; for a revision it does not name, walking the repository as
// the conversion does and comparing message, author, e-mail and date, as the
// conversion records them) and every file of the revision is compared with
// what a checkout of that commit writes (the repository's attributes
// applied, as libgit2's filters apply them). The commits of the walk that
// recorded no revision are compared with the revision that stands for them,
// the one recorded before them. Text files count as equal when their lines
// are equal, line ends aside, as the change detection compares them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "convert/RevisionCommits.h"
#include "foundation/AsciiText.h"
#include "foundation/uMyHash.h"
#include "git/uGitLibrary.h"
#include "scan/uMyFileUtils.h"
#include "store/CommitRecord.h"
#include "store/StoreVerifier.h"
#include "store/uQuarvEngine.h"

namespace pellmor {

class TMyContaner;
class TMyFile;

class TGitComparison {
 public:
  // Opens the repository of the working folder (ending in '/') and reads the
  // commits of its walk (OpenCommitWalk: oldest first, from HEAD, none that a
  // tag reaches), the store's Ignore.txt and its commit record. Raises
  // OpenCommitWalk's errors, the file layer's and TCommitRecord::Load's.
  // Problems go to sink, which the comparison keeps a copy of.
  TGitComparison(const std::string& folder, TProblemSink sink);
  ~TGitComparison();

  // Compares a revision, read whole (its own bytes in Content), with its
  // commit, reporting against its container file: no matching commit, a
  // file of the commit missing from the revision, a file of the revision
  // that the commit lacks, bytes that differ, a symbolic link or executable
  // bit on one side only, a name holding a backslash (which the store
  // cannot record). Files the conversion leaves out (inside ".git" or
  // ".Quarv", or named in Ignore.txt) are not asked for. The commits of the
  // walk from the one after the previous revision's commit up to this
  // revision's recorded no revision: each is compared with the previous
  // revision, and its problems are reported with that revision's container
  // file after "commit <short id> recorded no revision: " (before the first
  // revision: with an empty store, and History.txt). Call for every revision
  // in ascending number: the lines of the text files a revision holds are
  // remembered for the later revisions that carry them. A commit the record
  // names is compared even when HEAD no longer reaches it, and a revision
  // whose fields are not its commit's is reported; a named commit the
  // repository does not hold any more is reported.
  void Compare(TMyContaner& revision, const std::string& file);

  // Compares the commits after the newest revision's commit, which
  // recorded no revision, with the newest revision. Call once, after the
  // last Compare.
  void Finish();

 private:
  struct TTreeFile {
    std::string Path;  // as in the tree: '/' between folders
    std::string Name;  // store form: '\' between folders
    git_oid Blob;
    git_filemode_t Mode;
  };
  // What the files of a commit's tree are compared with: a revision's live
  // files (copied, since the revision itself is gone by the time the
  // commits that recorded nothing after it are compared).
  struct TStoredFile {
    std::string Name;
    TContentDigest Hash;
    uint32_t Attributes = 0;
    int32_t DataRevision = 0;
    bool Text = false;
  };
  struct TStanding {
    int32_t Number = 0;  // 0: the empty store before the first revision
    std::string File;    // where its problems are reported
    std::vector<TStoredFile> Files;
    struct TNameHash {
      size_t operator()(std::string_view name) const { return NameHashAscii(name); }
    };
    struct TNameEqual {
      bool operator()(std::string_view a, std::string_view b) const { return SameNameAscii(a, b); }
    };
    // Position in Files by name, letter case of ASCII ignored.
    std::unordered_map<std::string_view, size_t, TNameHash, TNameEqual> ByName;
    // The tree of the last commit compared with it: a commit of the same
    // tree would only repeat what was reported.
    std::optional<git_oid> ComparedTree;
  };

  // Opens attributesRepository_.
  void OpenAttributesRepository();
  // Compare, for a revision the commit record names (line).
  void CompareRecorded(TMyContaner& revision, const std::string& file,
                       const TCommitRecordLine& line);
  // Makes the revision the one that stands for the commits after its own.
  void Stand(const TMyContaner& revision, const std::string& file);
  // Compares the commits of the walk from nextCommit_ up to (not including)
  // end, going round past the last once, with the standing revision.
  void CompareUnchanged(size_t end);
  // Compares one commit's tree with a revision; prefix goes before each
  // problem's text.
  void CompareCommit(const TWalkedCommit& commit, TStanding& revision, const std::string& prefix);
  // The files of the commit's tree, and a key for the attribute files
  // (.gitattributes) it holds, in attributesKey.
  std::vector<TTreeFile> TreeFiles(const TWalkedCommit& commit, std::string& attributesKey);
  void RememberLines(TMyContaner& revision);
  struct TBlobFree {
    void operator()(git_blob* blob) const { git_blob_free(blob); }
  };
  using TBlob = std::unique_ptr<git_blob, TBlobFree>;
  // Raises "Cannot read blob <id>. <libgit2 text>".
  TBlob LoadBlob(const git_oid& blob) const;
  bool SameBytes(const TStoredFile& entry, const TTreeFile& file, const TWalkedCommit& commit,
                 const std::string& attributesKey);
  // The digest of a blob's own bytes.
  const TContentDigest& BlobDigest(const git_oid& blob);
  // The digest of what a checkout of commit writes for a file of its tree.
  const TContentDigest& CheckoutDigest(const TTreeFile& file, const TWalkedCommit& commit,
                                       const std::string& attributesKey);
  const TContentDigest& BlobLineDigest(const git_oid& blob);

  TProblemSink sink_;
  std::unique_ptr<TCommitWalk> walk_;
  // The same repository as filters see it for a fresh checkout of a commit:
  // with neither working folder nor index, whose attribute files would mix
  // with the commit's own.
  TGitRepository attributesRepository_;
  std::vector<TWalkedCommit> commits_;                 // the walk's, oldest first
  std::unordered_map<std::string, size_t> positions_;  // in commits_, by 40-digit id
  size_t nextCommit_ = 0;                              // the first commit not yet compared
  TCommitRecord record_;
  // The revision that stands for the commits after its own; none after a
  // revision that matched no commit (its commits are unknown).
  std::optional<TStanding> standing_;
  TFileIgnoreList leftOut_;
  TQuarv_IgonreList ignored_;
  // Digests of blob bytes and of their lines, by blob id (hex); of what a
  // checkout writes where filters apply, by blob id, attribute files and path.
  std::unordered_map<std::string, TContentDigest> blobDigests_;
  std::unordered_map<std::string, TContentDigest> checkoutDigests_;
  // Whether filters apply to a path, by path, under the attribute files
  // filteredAttributes_ (those of the commits compared last).
  std::string filteredAttributes_;
  std::unordered_map<std::string, bool> filteredPaths_;
  std::unordered_map<std::string, TContentDigest> blobLineDigests_;
  // The line digest of each text file a revision holds bytes of, by
  // (revision, upper-case name).
  std::map<std::pair<int32_t, std::string>, TContentDigest> storedLineDigests_;
};

}  // namespace pellmor
