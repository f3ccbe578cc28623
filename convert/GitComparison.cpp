#include "convert/GitComparison.h"

#include <algorithm>

#include "convert/uConversionRun.h"
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
TContentDigest LineDigest(TMemoryStream& bytes) {
  const std::unique_ptr<TListItemData> item = TListItemData::CreateForFile(nullptr);
  item->IsText = true;
  item->NewData.LoadFromStream(bytes);
  std::string joined;
  for (const std::string& line : item->NewData.Lines) {
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

bool IsSymlink(const TMyFile& entry) { return (entry.Attributes & kAttrReparsePoint) != 0; }

}  // namespace

TGitComparison::TGitComparison(const std::string& folder, const TProblemSink& sink)
    : sink_(sink), walk_(OpenCommitWalk(folder)), ignored_(nullptr) {
  leftOut_.AddPattern(kStoreFolderName);
  leftOut_.AddPattern(".git");
  const std::string ignoreFile = TStoreLayout(folder).IgnoreFileName();
  if (FileExists(ignoreFile)) ignored_.LoadFromFile(ignoreFile);
  ReadCommits();
}

TGitComparison::~TGitComparison() = default;

void TGitComparison::ReadCommits() {
  git_oid id;
  while (walk_->Next(id)) {
    const TGitCommit commit = LookupCommit(walk_->Repository(), id);
    const TGitCommitInfo info = ReadCommit(commit.get());
    // The fields as the conversion records them (an empty author or e-mail
    // takes the store's defaults).
    TCommitKey key;
    key.Id = id;
    key.ShortId = info.ShortId;
    key.Comment = RevisionComment(info.Message);
    key.Author = info.AuthorName.empty() ? TQuarv_Engine::kDefaultAuthor : info.AuthorName;
    key.Email = info.AuthorEmail.empty() ? TQuarv_Engine::kDefaultEmail : info.AuthorEmail;
    key.Date = UnixTimeToFileTime(info.CommitTime, 0);
    commits_.push_back(std::move(key));
  }
}

int TGitComparison::MatchCommit(const TMyContaner& revision) {
  const auto matches = [&](const TCommitKey& key) {
    return key.Date == revision.Date && key.Comment == revision.Comment &&
           key.Author == revision.Author && key.Email == revision.Email;
  };
  // Revisions follow their commits in walk order; a second conversion run
  // starts the walk again, so the search wraps around once.
  for (size_t step = 0; step < commits_.size(); ++step) {
    const size_t i = (nextCommit_ + step) % commits_.size();
    if (matches(commits_[i])) {
      nextCommit_ = i + 1;
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::vector<TGitComparison::TTreeFile> TGitComparison::TreeFiles(const TCommitKey& commit) {
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
  } walk{&leftOut_, {}};
  const auto visit = [](const char* root, const git_tree_entry* entry, void* payload) -> int {
    auto* state = static_cast<TWalk*>(payload);
    const std::string name = git_tree_entry_name(entry);
    // What the scan never sees: ".git" and ".Quarv" at any depth.
    if (state->leftOut->MatchesAny(name)) return 1;
    const git_filemode_t mode = git_tree_entry_filemode(entry);
    if (mode == GIT_FILEMODE_BLOB || mode == GIT_FILEMODE_BLOB_EXECUTABLE ||
        mode == GIT_FILEMODE_LINK)
      state->files.push_back(
          {StoreName(std::string(root) + name), *git_tree_entry_id(entry), mode});
    return 0;
  };
  const int walked = git_tree_walk(tree.get(), GIT_TREEWALK_PRE, visit, &walk);
  if (walked != 0)
    throw Exception(Format("Cannot read the tree of commit %s. %s", commit.ShortId.c_str(),
                           GitErrorText(walked).c_str()));
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
    HashBuffer(git_blob_rawcontent(object.get()),
               static_cast<size_t>(git_blob_rawsize(object.get())), it->second);
  }
  return it->second;
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

bool TGitComparison::SameBytes(const TMyFile& entry, const git_oid& blob) {
  if (DigestsEqual(BlobDigest(blob), entry.Hash)) return true;
  if (!entry.IsText()) return false;
  const auto stored = storedLineDigests_.find({entry.DataRevision, entry.UpperName()});
  return stored != storedLineDigests_.end() && DigestsEqual(stored->second, BlobLineDigest(blob));
}

void TGitComparison::Compare(TMyContaner& revision, const std::string& file) {
  RememberLines(revision);
  const int match = MatchCommit(revision);
  const int32_t number = revision.Number;
  if (match < 0) {
    sink_(file, Format("no commit of the Git repository matches revision %d (message, author, "
                       "e-mail and date)",
                       number));
    return;
  }
  const TCommitKey& commit = commits_[match];
  const std::string inCommit = "commit " + commit.ShortId;
  const std::string inRevision = "revision " + std::to_string(number);
  std::unordered_map<const TMyFile*, bool> seen;
  for (const TTreeFile& treeFile : TreeFiles(commit)) {
    const char* name = treeFile.Name.c_str();
    const TMyFile* entry = revision.Files.FindByName(treeFile.Name);
    if (entry == nullptr || entry->Deleted) {
      if (!ignored_.IsIgnored(treeFile.Name))
        sink_(file,
              Format("'%s' of %s is missing from %s", name, inCommit.c_str(), inRevision.c_str()));
      continue;
    }
    seen[entry] = true;
    // Which side has the property, which lacks it.
    const auto sides = [&](bool commitHasIt) {
      return std::make_pair((commitHasIt ? inCommit : inRevision).c_str(),
                            (commitHasIt ? inRevision : inCommit).c_str());
    };
    const bool link = treeFile.Mode == GIT_FILEMODE_LINK;
    if (link != IsSymlink(*entry)) {
      const auto [has, lacks] = sides(link);
      sink_(file, Format("'%s' is a symbolic link in %s but not in %s", name, has, lacks));
      continue;
    }
    const bool executable = treeFile.Mode == GIT_FILEMODE_BLOB_EXECUTABLE;
    if (!link && executable != ((entry->Attributes & kAttrArchive) != 0)) {
      const auto [has, lacks] = sides(executable);
      sink_(file, Format("'%s' is executable in %s but not in %s", name, has, lacks));
    }
    if (!SameBytes(*entry, treeFile.Blob))
      sink_(file, Format("the bytes of '%s' differ between %s and %s", name, inRevision.c_str(),
                         inCommit.c_str()));
  }
  for (const auto& entry : revision.Files)
    if (!entry->Deleted && !seen.count(entry.get()))
      sink_(file, Format("'%s' of %s is not in %s", entry->Name().c_str(), inRevision.c_str(),
                         inCommit.c_str()));
}

}  // namespace pellmor
