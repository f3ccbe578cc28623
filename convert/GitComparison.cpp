#include "convert/GitComparison.h"

#include <git2/sys/repository.h>

#include <algorithm>

#include "foundation/AsciiText.h"
#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "foundation/uMyFileTypes.h"
#include "scan/uListBoxData.h"
#include "store/StoreLayout.h"
#include "store/uMyFS.h"

namespace pellmor {

namespace {

std::string OidKey(const git_oid& id) { return OidToText(id, 40); }

// A digest of a text's lines as the change detection splits them (line ends
// dropped, a NUL ending the text): equal for two texts exactly when their
// lines are equal. Every line is followed by LF, which no line holds.
TContentDigest LineDigest(const TMemoryStream& bytes) {
  std::string joined;
  for (const std::string& line : ContentLines(bytes)) {
    joined += line;
    joined += '\n';
  }
  TContentDigest digest;
  HashBuffer(joined.data(), joined.size(), digest);
  return digest;
}

// A path of the tree ('/' between folders) as the store names it.
std::string StoreName(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

}  // namespace

TGitComparison::TGitComparison(const std::string& folder, TProblemSink sink)
    : sink_(std::move(sink)), walk_(OpenCommitWalk(folder)) {
  leftOut_.AddPattern(kStoreFolderName);
  leftOut_.AddPattern(".git");
  const std::string ignoreFile = TStoreLayout(folder).IgnoreFileName();
  if (FileExists(ignoreFile)) ignored_.LoadFromFile(ignoreFile);
  record_ = TCommitRecord::Load(TStoreLayout(folder).CommitRecordFileName());
  OpenAttributesRepository();
  commits_ = ReadWalkedCommits(*walk_);
  for (size_t i = 0; i < commits_.size(); ++i) positions_.emplace(OidKey(commits_[i].Id), i);
  TStanding empty;
  empty.File = TStoreLayout(folder).HistoryFileName();
  standing_ = std::move(empty);
}

TGitComparison::~TGitComparison() = default;

void TGitComparison::OpenAttributesRepository() {
  const std::string gitFolder = git_repository_path(walk_->Repository());
  const auto fail = [&](int result) {
    return Exception(Format("Cannot open Git repository \"%s\". %s", gitFolder.c_str(),
                            GitErrorText(result).c_str()));
  };
  git_repository* raw = nullptr;
  int result = git_repository_open_bare(&raw, gitFolder.c_str());
  attributesRepository_.reset(raw);
  if (result != 0) throw fail(result);
  git_index* rawIndex = nullptr;
  result = git_index_new(&rawIndex);
  const std::unique_ptr<git_index, decltype(&git_index_free)> empty(rawIndex, git_index_free);
  if (result != 0) throw fail(result);
  result = git_repository_set_index(attributesRepository_.get(), empty.get());
  if (result != 0) throw fail(result);
}

void TGitComparison::CompareRecorded(TMyContaner& revision, const std::string& file,
                                     const TCommitRecordLine& line) {
  const auto walked = positions_.find(line.Commit);
  std::optional<TWalkedCommit> unreachable;  // a commit HEAD no longer reaches
  if (walked == positions_.end()) {
    git_oid id;
    git_commit* raw = nullptr;
    if (git_oid_fromstr(&id, line.Commit.c_str()) != 0 ||
        git_commit_lookup(&raw, walk_->Repository(), &id) != 0) {
      sink_(file, Format("revision %d was recorded from commit %s, which the Git repository "
                         "does not hold",
                         revision.Number, line.Commit.c_str()));
      // Which commits recorded nothing after it cannot be told.
      standing_.reset();
      return;
    }
    git_commit_free(raw);
    unreachable = WalkedCommitOf(walk_->Repository(), id);
  }
  const TWalkedCommit& commit = unreachable ? *unreachable : commits_[walked->second];
  if (!commit.Recorded.Matches(revision))
    sink_(file, Format("no commit of the Git repository matches revision %d (message, author, "
                       "e-mail and date): those of commit %s, which the commit record names, "
                       "differ",
                       revision.Number, line.Commit.c_str()));
  if (!unreachable) {
    CompareUnchanged(walked->second);
    nextCommit_ = walked->second + 1;
  }
  Stand(revision, file);
  CompareCommit(commit, *standing_, "");
}

std::vector<TGitComparison::TTreeFile> TGitComparison::TreeFiles(const TWalkedCommit& commit,
                                                                 std::string& attributesKey) {
  const TGitCommit object = LookupCommit(walk_->Repository(), commit.Id);
  git_tree* raw = nullptr;
  const int result = git_commit_tree(&raw, object.get());
  if (result != 0)
    throw Exception(Format("Cannot read the tree of commit %s. %s", commit.ShortId.c_str(),
                           GitErrorText(result).c_str()));
  const TGitTree tree(raw);

  struct TWalk {
    const TFileIgnoreList* leftOut;
    std::vector<TTreeFile> files;
    std::string attributesKey;
  } walk{&leftOut_, {}, {}};
  const auto visit = [](const char* root, const git_tree_entry* entry, void* payload) -> int {
    auto* state = static_cast<TWalk*>(payload);
    const std::string name = git_tree_entry_name(entry);
    // What the scan never sees: ".git" and ".Quarv" at any depth.
    if (state->leftOut->MatchesAny(name)) return 1;
    const git_filemode_t mode = git_tree_entry_filemode(entry);
    if (mode != GIT_FILEMODE_BLOB && mode != GIT_FILEMODE_BLOB_EXECUTABLE &&
        mode != GIT_FILEMODE_LINK)
      return 0;
    std::string path = std::string(root) + name;
    if (name == ".gitattributes") {
      state->attributesKey += path;
      state->attributesKey += '\0';
      state->attributesKey += OidKey(*git_tree_entry_id(entry));
      state->attributesKey += '\0';
    }
    state->files.push_back({path, StoreName(path), *git_tree_entry_id(entry), mode});
    return 0;
  };
  const int walked = git_tree_walk(tree.get(), GIT_TREEWALK_PRE, visit, &walk);
  if (walked != 0)
    throw Exception(Format("Cannot read the tree of commit %s. %s", commit.ShortId.c_str(),
                           GitErrorText(walked).c_str()));
  attributesKey = std::move(walk.attributesKey);
  return std::move(walk.files);
}

TGitComparison::TBlob TGitComparison::LoadBlob(const git_oid& blob) const {
  git_blob* raw = nullptr;
  const int result = git_blob_lookup(&raw, walk_->Repository(), &blob);
  if (result != 0)
    throw Exception(
        Format("Cannot read blob %s. %s", OidKey(blob).c_str(), GitErrorText(result).c_str()));
  return TBlob(raw);
}

const TContentDigest& TGitComparison::BlobDigest(const git_oid& blob) {
  const auto [it, added] = blobDigests_.try_emplace(OidKey(blob));
  if (added) {
    const TBlob object = LoadBlob(blob);
    ContentDigest(git_blob_rawcontent(object.get()),
                  static_cast<size_t>(git_blob_rawsize(object.get())), it->second);
  }
  return it->second;
}

const TContentDigest& TGitComparison::CheckoutDigest(const TTreeFile& file,
                                                     const TWalkedCommit& commit,
                                                     const std::string& attributesKey) {
  // A link's target is written as it is.
  if (file.Mode == GIT_FILEMODE_LINK) return BlobDigest(file.Blob);
  // Whether filters apply at all depends on the path and the attributes
  // alone: mostly they do not, and the blob is written as it is.
  if (attributesKey != filteredAttributes_) {
    filteredPaths_.clear();
    filteredAttributes_ = attributesKey;
  }
  const auto known = filteredPaths_.find(file.Path);
  if (known != filteredPaths_.end() && !known->second) return BlobDigest(file.Blob);
  const std::string key = OidKey(file.Blob) + '\0' + file.Path + '\0' + attributesKey;
  const auto found = checkoutDigests_.find(key);
  if (found != checkoutDigests_.end()) return found->second;

  const auto fail = [&](int result) {
    return Exception(Format("Cannot apply the attributes of commit %s to '%s'. %s",
                            commit.ShortId.c_str(), file.Path.c_str(),
                            GitErrorText(result).c_str()));
  };
  const TBlob blob = LoadBlob(file.Blob);
  // The attributes of the commit itself, as its checkout finds them in the
  // folder, with the repository's own (info/attributes) and its configuration.
  git_filter_options options{};
  options.version = GIT_FILTER_OPTIONS_VERSION;
  options.flags = GIT_FILTER_ATTRIBUTES_FROM_COMMIT;
  options.attr_commit_id = commit.Id;
  git_filter_list* raw = nullptr;
  int result = git_filter_list_load_ext(&raw, attributesRepository_.get(), blob.get(),
                                        file.Path.c_str(), GIT_FILTER_TO_WORKTREE, &options);
  const std::unique_ptr<git_filter_list, decltype(&git_filter_list_free)> filters(
      raw, git_filter_list_free);
  if (result != 0) throw fail(result);
  filteredPaths_[file.Path] = filters != nullptr;
  if (filters == nullptr) return BlobDigest(file.Blob);
  git_buf written = GIT_BUF_INIT;
  result = git_filter_list_apply_to_blob(&written, filters.get(), blob.get());
  const std::unique_ptr<git_buf, decltype(&git_buf_dispose)> owned(&written, git_buf_dispose);
  if (result != 0) throw fail(result);
  TContentDigest& digest = checkoutDigests_[key];
  ContentDigest(written.ptr, written.size, digest);
  return digest;
}

const TContentDigest& TGitComparison::BlobLineDigest(const git_oid& blob) {
  const auto [it, added] = blobLineDigests_.try_emplace(OidKey(blob));
  if (added) {
    const TBlob object = LoadBlob(blob);
    TMemoryStream bytes;
    bytes.Assign(git_blob_rawcontent(object.get()),
                 static_cast<size_t>(git_blob_rawsize(object.get())));
    it->second = LineDigest(bytes);
  }
  return it->second;
}

void TGitComparison::RememberLines(TMyContaner& revision) {
  for (const auto& entry : revision.Files) {
    if (entry->DataRevision != revision.Number || entry->Deleted || !entry->IsText()) continue;
    storedLineDigests_[{revision.Number, entry->UpperName()}] = LineDigest(entry->Content);
  }
}

bool TGitComparison::SameBytes(const TStoredFile& entry, const TTreeFile& file,
                               const TWalkedCommit& commit, const std::string& attributesKey) {
  if (DigestsEqual(CheckoutDigest(file, commit, attributesKey), entry.Hash)) return true;
  if (!entry.Text) return false;
  const auto stored = storedLineDigests_.find({entry.DataRevision, UpperCaseAscii(entry.Name)});
  return stored != storedLineDigests_.end() &&
         DigestsEqual(stored->second, BlobLineDigest(file.Blob));
}

void TGitComparison::Stand(const TMyContaner& revision, const std::string& file) {
  TStanding standing;
  standing.Number = revision.Number;
  standing.File = file;
  for (const auto& entry : revision.Files)
    if (!entry->Deleted)
      standing.Files.push_back(
          {entry->Name(), entry->Hash, entry->Attributes, entry->DataRevision, entry->IsText()});
  // Views of the names, which stay where they are while Files is left alone
  // (a move of the whole vector keeps them).
  standing.ByName.reserve(standing.Files.size());
  for (size_t i = 0; i < standing.Files.size(); ++i)
    standing.ByName.emplace(standing.Files[i].Name, i);
  standing_ = std::move(standing);
}

void TGitComparison::Compare(TMyContaner& revision, const std::string& file) {
  RememberLines(revision);
  if (const TCommitRecordLine* line = record_.FindRevision(revision.Number)) {
    CompareRecorded(revision, file, *line);
    return;
  }
  const int match = MatchRevision(commits_, revision, nextCommit_);
  if (match < 0) {
    sink_(file, Format("no commit of the Git repository matches revision %d (message, author, "
                       "e-mail and date)",
                       revision.Number));
    // Which commits recorded nothing after it cannot be told.
    standing_.reset();
    return;
  }
  CompareUnchanged(static_cast<size_t>(match));
  Stand(revision, file);
  nextCommit_ = static_cast<size_t>(match) + 1;
  CompareCommit(commits_[static_cast<size_t>(match)], *standing_, "");
}

void TGitComparison::Finish() { CompareUnchanged(commits_.size()); }

void TGitComparison::CompareUnchanged(size_t end) {
  if (!standing_) return;
  // From the first commit not compared, going round past the last at most
  // once (a second conversion run walked the history again).
  for (size_t i = nextCommit_; i != end;) {
    if (i == commits_.size()) {
      i = 0;
      continue;
    }
    const TWalkedCommit& commit = commits_[i++];
    CompareCommit(commit, *standing_,
                  Format("commit %s recorded no revision: ", commit.ShortId.c_str()));
  }
}

void TGitComparison::CompareCommit(const TWalkedCommit& commit, TStanding& revision,
                                   const std::string& prefix) {
  if (revision.ComparedTree && git_oid_equal(&*revision.ComparedTree, &commit.Tree)) return;
  revision.ComparedTree = commit.Tree;
  const std::string inCommit = "commit " + commit.ShortId;
  const std::string inRevision =
      revision.Number == 0 ? "the empty store" : "revision " + std::to_string(revision.Number);
  const auto report = [&](const std::string& text) { sink_(revision.File, prefix + text); };
  std::string attributesKey;
  std::vector<bool> seen(revision.Files.size(), false);
  for (const TTreeFile& treeFile : TreeFiles(commit, attributesKey)) {
    const char* name = treeFile.Name.c_str();
    if (treeFile.Path.find('\\') != std::string::npos) {
      report(Format("'%s' of %s holds a backslash in its name, which the store cannot record",
                    treeFile.Path.c_str(), inCommit.c_str()));
      continue;
    }
    const auto found = revision.ByName.find(treeFile.Name);
    if (found == revision.ByName.end()) {
      if (!ignored_.IsIgnored(treeFile.Name))
        report(Format("'%s' of %s is missing from %s", name, inCommit.c_str(), inRevision.c_str()));
      continue;
    }
    seen[found->second] = true;
    const TStoredFile& entry = revision.Files[found->second];
    // Which side has the property, which lacks it.
    const auto sides = [&](bool commitHasIt) {
      return std::make_pair((commitHasIt ? inCommit : inRevision).c_str(),
                            (commitHasIt ? inRevision : inCommit).c_str());
    };
    const bool link = treeFile.Mode == GIT_FILEMODE_LINK;
    if (link != ((entry.Attributes & kAttrReparsePoint) != 0)) {
      const auto [has, lacks] = sides(link);
      report(Format("'%s' is a symbolic link in %s but not in %s", name, has, lacks));
      continue;
    }
    const bool executable = treeFile.Mode == GIT_FILEMODE_BLOB_EXECUTABLE;
    if (!link && executable != ((entry.Attributes & kAttrArchive) != 0)) {
      const auto [has, lacks] = sides(executable);
      report(Format("'%s' is executable in %s but not in %s", name, has, lacks));
    }
    if (!SameBytes(entry, treeFile, commit, attributesKey))
      report(Format("the bytes of '%s' differ between %s and %s", name, inRevision.c_str(),
                    inCommit.c_str()));
  }
  for (size_t i = 0; i < revision.Files.size(); ++i)
    if (!seen[i])
      report(Format("'%s' of %s is not in %s", revision.Files[i].Name.c_str(), inRevision.c_str(),
                    inCommit.c_str()));
}

}  // namespace pellmor
