// Builds real Git repositories for tests with the git command-line tool:
// files, links, executable bits, renames, commits with chosen authors, times,
// messages and encodings, tags, branches and merges.
//
// git runs isolated from the machine's and the user's configuration. Every
// failure throws std::runtime_error with the command and git's own output, so
// both GoogleTest and Qt Test report it as a failed test.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pellmor::test {

struct GitSignature {
  std::string Name = "Ann Author";
  std::string Email = "ann@example.com";
  // Seconds since 1970-01-01 UTC; unset: the builder's clock, one minute
  // after the previous commit it made.
  std::optional<int64_t> Seconds;
  int OffsetMinutes = 0;  // the zone's offset from UTC
};

struct CommitOptions {
  GitSignature Author;
  // The committer; unset: the author, at the author's time.
  std::optional<GitSignature> Committer;
  // Recorded as the commit's "encoding" header (the bytes are not converted);
  // empty: no header.
  std::string Encoding;
};

class GitRepoBuilder {
 public:
  // Runs "git init" in folder (ending in '/', created when missing) with
  // "main" as the first branch.
  explicit GitRepoBuilder(std::string folder);

  // The working folder, ending in '/'.
  const std::string& Folder() const { return folder_; }

  // Paths are relative to the working folder, '/' between folders; missing
  // parent folders are created.
  void WriteFile(const std::string& relative, const std::string& bytes);
  void RemoveFile(const std::string& relative);
  void Symlink(const std::string& relative, const std::string& target);
  void SetExecutable(const std::string& relative, bool executable);
  // "git mv".
  void Move(const std::string& from, const std::string& to);

  // Stages every change of the working folder and commits it, even when
  // nothing changed; the message is recorded byte for byte. Returns the
  // commit's 40-digit id.
  std::string Commit(const std::string& message, const CommitOptions& options = {});

  // Like Commit, but writes the commit object itself, so that a message that
  // is not UTF-8 reaches the repository byte for byte even without an
  // encoding (git would re-encode it as if it were Latin-1).
  std::string CommitRawMessage(const std::string& message, const CommitOptions& options = {});

  // Tags a revision; an annotated tag gets a message and a tagger.
  void Tag(const std::string& name, const std::string& revision = "HEAD", bool annotated = false);
  // Creates a branch at the current commit and/or switches to a branch.
  void Branch(const std::string& name);
  void Switch(const std::string& name);
  // Merges branch into the current one with a merge commit (never a fast
  // forward); returns the merge commit's id.
  std::string Merge(const std::string& branch, const std::string& message,
                    const CommitOptions& options = {});

  // Objects written as they are, for histories that Git's own commands would
  // refuse to build: a blob; a tree from "git mktree" of its listing (lines
  // "<mode> <type> <id>\t<name>", which mktree takes in any order and with
  // duplicates); a tree whose entries are written in the order given, with
  // no check at all (a name may even hold '/'); a commit of a tree whose
  // parent is HEAD's commit (none in an empty repository), which HEAD's
  // branch then names. The working folder and the index are left as they
  // are. Each returns the object's id.
  std::string WriteBlob(const std::string& bytes);
  std::string MakeTree(const std::string& listing);
  struct RawTreeEntry {
    std::string Mode;  // "100644", "100755", "120000", "40000"
    std::string Name;
    std::string Id;  // 40 hex digits
  };
  std::string WriteTree(const std::vector<RawTreeEntry>& entries);
  std::string CommitTree(const std::string& tree, const std::string& message,
                         const CommitOptions& options = {});

  // The 40-digit id of a revision.
  std::string RevParse(const std::string& revision);

  // Runs git with args in the working folder, extra environment entries
  // (NAME=value) and inputFile, when given, as its standard input (else
  // /dev/null); returns its standard output.
  std::string Git(const std::vector<std::string>& args,
                  const std::vector<std::string>& environment = {},
                  const std::string& inputFile = "");

 private:
  std::vector<std::string> SignatureEnvironment(const CommitOptions& options);
  // Runs git; true when it succeeded. out gets its standard output, *err its errors.
  bool TryGit(const std::vector<std::string>& args, std::string& out,
              const std::vector<std::string>& environment = {}, std::string* err = nullptr,
              const std::string& inputFile = "");
  // Writes bytes to a scratch file inside .git and returns its path.
  std::string ScratchFile(const std::string& bytes);

  std::string folder_;
  int64_t clock_ = 1500000000;
};

}  // namespace pellmor::test
