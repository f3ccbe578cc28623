#include "git/TreeChecker.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "foundation/AsciiText.h"
#include "foundation/Exception.h"
#include "git/uGitLibrary.h"

namespace pellmor {

namespace {

// The next code point of name from position i that HFS+ does not ignore; 0
// at the end or at bytes that are not UTF-8 (which then cannot spell the
// name asked about; Git treats them alike).
uint32_t NextHfsChar(const std::string& name, size_t& i) {
  while (i < name.size()) {
    const auto lead = static_cast<unsigned char>(name[i]);
    int length;
    uint32_t c;
    if (lead < 0x80) {
      length = 1, c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, c = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, c = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, c = lead & 0x07;
    } else {
      return 0;
    }
    if (i + length > name.size()) return 0;
    for (int k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(name[i + k]);
      if ((next & 0xC0) != 0x80) return 0;
      c = (c << 6) | (next & 0x3F);
    }
    constexpr uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kShortest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    i += length;
    const bool ignored = (c >= 0x200C && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
                         (c >= 0x206A && c <= 0x206F) || c == 0xFEFF;
    if (!ignored) return c;
  }
  return 0;
}

// Whether HFS+ takes name for "." followed by needle (lower-case ASCII).
bool IsHfsDotName(const std::string& name, const char* needle) {
  size_t i = 0;
  if (NextHfsChar(name, i) != '.') return false;
  for (; *needle != '\0'; ++needle) {
    const uint32_t c = NextHfsChar(name, i);
    if (c > 127 || UpperCaseAscii(static_cast<char>(c)) != UpperCaseAscii(*needle)) return false;
  }
  const uint32_t c = NextHfsChar(name, i);
  return c == 0 || c == '/';
}

// Whether the rest of name from position i is only dots and spaces, up to
// its end or an alternate data stream (':'), which NTFS drops or splits off.
bool OnlyDotsAndSpacesFrom(const std::string& name, size_t i) {
  for (; i < name.size() && name[i] != ':'; ++i)
    if (name[i] != '.' && name[i] != ' ') return false;
  return true;
}

bool StartsWithAsciiCaseless(const std::string& name, size_t at, const std::string& lower) {
  if (name.size() < at + lower.size()) return false;
  for (size_t k = 0; k < lower.size(); ++k)
    if (UpperCaseAscii(name[at + k]) != UpperCaseAscii(lower[k])) return false;
  return true;
}

// Whether NTFS takes name for "." + dotName: that name with trailing dots
// and spaces, its short name (the first six letters and "~1" to "~4"), or a
// fall-back short name of shortPrefix and a tilde number (Git's
// is_ntfs_dot_generic).
bool IsNtfsDotName(const std::string& name, const std::string& dotName,
                   const std::string& shortPrefix) {
  if (!name.empty() && name[0] == '.' && StartsWithAsciiCaseless(name, 1, dotName))
    return OnlyDotsAndSpacesFrom(name, dotName.size() + 1);
  if (StartsWithAsciiCaseless(name, 0, dotName.substr(0, 6)) && name.size() >= 8 &&
      name[6] == '~' && name[7] >= '1' && name[7] <= '4')
    return OnlyDotsAndSpacesFrom(name, 8);
  bool sawTilde = false;
  for (size_t i = 0; i < 8; ++i) {
    if (i >= name.size()) return false;
    const char c = name[i];
    if (sawTilde) {
      if (c < '0' || c > '9') return false;
    } else if (c == '~') {
      if (++i >= name.size() || name[i] < '1' || name[i] > '9') return false;
      sawTilde = true;
    } else if (i >= 6 || UpperCaseAscii(c) != UpperCaseAscii(shortPrefix[i])) {
      return false;
    }
  }
  return OnlyDotsAndSpacesFrom(name, 8);
}

// Whether NTFS takes name for ".git": ".git" or "git~1", followed by nothing,
// dots and spaces, a folder separator or a stream name (Git's is_ntfs_dotgit).
bool IsNtfsDotGit(const std::string& name) {
  size_t i;
  if (StartsWithAsciiCaseless(name, 0, ".git"))
    i = 4;
  else if (StartsWithAsciiCaseless(name, 0, "git~1"))
    i = 5;
  else
    return false;
  for (; i < name.size(); ++i) {
    const char c = name[i];
    if (c == '/' || c == '\\' || c == ':') return true;
    if (c != '.' && c != ' ') return false;
  }
  return true;
}

std::string TreeKey(const git_oid& id) {
  return std::string(reinterpret_cast<const char*>(id.id), GIT_OID_RAWSZ);
}

// The fault of one entry's own name ("" when none), given its path.
std::string NameFault(const std::string& name, git_filemode_t mode, const std::string& path) {
  if (name.find('/') != std::string::npos)
    return Format("the entry '%s' holds '/' in its name", path.c_str());
  if (name == "." || name == "..")
    return Format("'%s' is a '%s' entry", path.c_str(), name.c_str());
  if (IsDotGitName(name))
    return Format("'%s' names Git's own folder .git (in some file system's spelling)",
                  path.c_str());
  if (mode == GIT_FILEMODE_LINK && IsDotGitmodulesName(name))
    return Format("'%s' is a symbolic link named as Git's .gitmodules file", path.c_str());
  return "";
}

// The first fault of the entries of one tree (their names, and names that
// clash), "" when none; folder: the tree's path ending in '/', or "".
std::string EntriesFault(const git_tree* tree, const std::string& folder) {
  struct TName {
    std::string Upper;
    std::string Name;
    git_filemode_t Mode;
  };
  std::vector<TName> names;
  const size_t count = git_tree_entrycount(tree);
  names.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const git_tree_entry* entry = git_tree_entry_byindex(tree, i);
    std::string name = git_tree_entry_name(entry);
    const git_filemode_t mode = git_tree_entry_filemode(entry);
    const std::string fault = NameFault(name, mode, folder + name);
    if (!fault.empty()) return fault;
    names.push_back({UpperCaseAscii(name), std::move(name), mode});
  }
  // Clashing names lie side by side once sorted: the same name is the same
  // upper-case name too.
  std::sort(names.begin(), names.end(), [](const TName& a, const TName& b) {
    return a.Upper != b.Upper ? a.Upper < b.Upper : a.Name < b.Name;
  });
  for (size_t i = 1; i < names.size(); ++i) {
    const TName& a = names[i - 1];
    const TName& b = names[i];
    if (a.Upper != b.Upper) continue;
    const bool hasLink = a.Mode == GIT_FILEMODE_LINK || b.Mode == GIT_FILEMODE_LINK;
    const bool hasFolder = a.Mode == GIT_FILEMODE_TREE || b.Mode == GIT_FILEMODE_TREE;
    const std::string path = folder + a.Name;
    if (a.Name == b.Name) {
      if (hasLink && hasFolder)
        return Format(
            "'%s' is both a symbolic link and a folder, whose files would be written through "
            "the link",
            path.c_str());
      return Format("'%s' occurs twice", path.c_str());
    }
    if (hasLink)
      return Format(
          "'%s' and '%s' differ only in letter case and one is a symbolic link, which a file "
          "system that ignores case would write through",
          path.c_str(), (folder + b.Name).c_str());
  }
  return "";
}

}  // namespace

bool IsDotGitName(const std::string& name) {
  return IsHfsDotName(name, "git") || IsNtfsDotGit(name);
}

bool IsDotGitmodulesName(const std::string& name) {
  return IsHfsDotName(name, "gitmodules") || IsNtfsDotName(name, "gitmodules", "gi7eba");
}

TTreeChecker::TTreeChecker(git_repository* repository, std::string reservedTopName)
    : repository_(repository), reservedTopName_(std::move(reservedTopName)) {}

void TTreeChecker::Check(const git_commit* commit) {
  const std::string shortId = OidToText(*git_commit_id(commit), kShortIdLength);
  git_tree* raw = nullptr;
  const int result = git_commit_tree(&raw, commit);
  const TGitTree tree(raw);
  if (result != 0)
    throw Exception(Format("Cannot read the tree of commit %s. %s", shortId.c_str(),
                           GitErrorText(result).c_str()));
  const std::string problem = FindProblem(tree.get(), shortId);
  if (!problem.empty())
    throw Exception(Format("Cannot check out commit %s. Its tree is unsafe: %s", shortId.c_str(),
                           problem.c_str()));
}

std::string TTreeChecker::FindProblem(const git_tree* root, const std::string& shortId) {
  // Asked of the top folder alone, on every check: a subtree that holds the
  // reserved name is sound, and may be the top of a later commit.
  for (size_t i = 0; i < git_tree_entrycount(root); ++i) {
    const std::string name = git_tree_entry_name(git_tree_entry_byindex(root, i));
    if (SameNameAscii(name, reservedTopName_))
      return Format("'%s' is the store's own folder, which the checkout would overwrite",
                    name.c_str());
  }
  if (sound_.count(TreeKey(*git_tree_id(root))) != 0) return "";

  // Depth first without recursion, so that no depth of nesting exhausts the
  // stack; path holds the folder of the innermost tree, ending in '/'.
  struct TFrame {
    TGitTree Owned;  // empty for the root, which the caller owns
    const git_tree* Tree;
    size_t Next;
    size_t PathLength;
  };
  std::string path;
  std::string fault = EntriesFault(root, path);
  if (!fault.empty()) return fault;
  std::vector<TFrame> stack;
  stack.push_back({nullptr, root, 0, 0});
  while (!stack.empty()) {
    TFrame& top = stack.back();
    if (top.Next == git_tree_entrycount(top.Tree)) {
      sound_.insert(TreeKey(*git_tree_id(top.Tree)));
      stack.pop_back();
      continue;
    }
    const git_tree_entry* entry = git_tree_entry_byindex(top.Tree, top.Next++);
    if (git_tree_entry_filemode(entry) != GIT_FILEMODE_TREE) continue;
    if (sound_.count(TreeKey(*git_tree_entry_id(entry))) != 0) continue;
    path.resize(top.PathLength);
    path += git_tree_entry_name(entry);
    path += '/';
    git_tree* raw = nullptr;
    const int result = git_tree_lookup(&raw, repository_, git_tree_entry_id(entry));
    TGitTree subtree(raw);
    if (result != 0)
      throw Exception(Format("Cannot read the tree of commit %s. %s", shortId.c_str(),
                             GitErrorText(result).c_str()));
    fault = EntriesFault(subtree.get(), path);
    if (!fault.empty()) return fault;
    const git_tree* tree = subtree.get();
    stack.push_back({std::move(subtree), tree, 0, path.size()});
  }
  return "";
}

}  // namespace pellmor
