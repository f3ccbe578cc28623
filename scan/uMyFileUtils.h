// The folder scan: a folder on disk turned into a tree of file and folder
// nodes carrying each entry's name, attributes and three times as the listing
// reports them, and the name patterns that keep entries out of the tree.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/Platform.h"
#include "foundation/uMyClasses.h"
#include "scan/WatchedListings.h"

namespace pellmor {

class TFolderObject;

// One scanned entry: a file, a symbolic link, or the base part of a folder node.
class TFileObject {
 public:
  // parent is the folder node holding this entry (none for a root); not owned.
  explicit TFileObject(TFolderObject* parent = nullptr) : Parent(parent) {}
  TFileObject(const TFileObject&) = delete;
  TFileObject& operator=(const TFileObject&) = delete;
  virtual ~TFileObject() = default;

  uint32_t Attributes = 0;  // kAttr* bits of foundation/Platform.h
  // The entry's own name; for a root, the scanned path without its trailing '/'.
  std::string Name;
  TFolderObject* Parent = nullptr;
  uint64_t LastWriteTime = 0;  // FILETIME values, UTC
  uint64_t CreationTime = 0;
  uint64_t LastAccessTime = 0;
  TFileStamp Stamp;  // as the scan saw the entry
  // The scan's watched listings' Refresh since which no change of the entry
  // was reported (TWatchedListings::List); kNotWatched when none vouches.
  uint64_t UnchangedSince = kNotWatched;

  virtual void SetName(const std::string& name);

  // The disk path: the root's Name, then every node's Name below it, joined with '/'.
  std::string GetFullPath() const;
  // The store form: the names below the root joined with '\' (sub\file.txt);
  // on a root node, the root's own Name.
  std::string GetRelativePath() const;
};

// A folder's file nodes (files and symbolic links), owned, in listing order.
class TFileList : public TObjectList<TFileObject> {};

// A folder's sub-folder nodes, owned, in listing order. Only folder nodes can
// be put in it, so every item is a TFolderObject.
class TFoldersList : public TFileList {
 public:
  TFolderObject* Items(int i) const;
  TFolderObject* operator[](int i) const { return Items(i); }
  TFolderObject* Add(std::unique_ptr<TFolderObject> folder);
  TFolderObject* Insert(int i, std::unique_ptr<TFolderObject> folder);
};

// A folder entry and the root of a scanned tree. A root owns the whole tree;
// destroying a folder destroys its sub-folders first, then its files.
class TFolderObject : public TFileObject {
 public:
  using TFileObject::TFileObject;

  TFileList Files;
  TFoldersList Folders;

  // Stores the name without one trailing '/'.
  void SetName(const std::string& name) override;
};

inline TFolderObject* TFoldersList::Items(int i) const {
  return static_cast<TFolderObject*>(TFileList::Items(i));
}
inline TFolderObject* TFoldersList::Add(std::unique_ptr<TFolderObject> folder) {
  return static_cast<TFolderObject*>(TFileList::Add(std::move(folder)));
}
inline TFolderObject* TFoldersList::Insert(int i, std::unique_ptr<TFolderObject> folder) {
  return static_cast<TFolderObject*>(TFileList::Insert(i, std::move(folder)));
}

enum TMatchKind : uint8_t { mkExact = 0, mkEndsWith = 1, mkStartsWith = 2, mkContains = 3 };

// One ignore pattern, applied to an entry's own name (never to a path).
// A star at the start and/or at the end of a pattern of three characters or
// more is a wildcard; every other character, further stars and question marks
// included, is literal. Exact, ends-with and starts-with patterns compare
// ASCII letters without regard to case and every other byte exactly;
// contains-patterns upper-case both texts by Unicode's rules (UTF-8 names) or
// ASCII letters only (names that are not well-formed UTF-8).
class TFileIgnoreObject {
 public:
  explicit TFileIgnoreObject(const std::string& pattern) { SetPattern(pattern); }

  std::string Pattern;    // the pattern text, trimmed
  std::string MatchText;  // Pattern without its wildcard stars
  int32_t MatchTextLength = 0;
  TMatchKind MatchKind = mkExact;

  // Trims the text (every byte at or below the space) and classifies it.
  void SetPattern(const std::string& pattern);
  bool Matches(const std::string& name) const;
};

// The ordered list of ignore patterns the scan consults for every entry.
// Duplicates are kept; nothing is sorted.
class TFileIgnoreList : public TObjectList<TFileIgnoreObject> {
 public:
  // Appends a pattern made from the text and returns it (owned by the list);
  // a text that is blank once trimmed adds nothing and returns nullptr.
  TFileIgnoreObject* AddPattern(const std::string& pattern);
  // Whether any pattern matches the name; false for an empty list.
  bool MatchesAny(const std::string& name) const;
};

// Scans the folder at path (a trailing '/' is allowed and dropped from the
// root's Name) into a new tree owned by the caller. The root's own attributes
// and times stay zero. With listings (kept across the scans of a run), the
// changes reported since the last scan are taken first, and folders that did
// not change are not listed again. See ScanFolder for the rest.
std::unique_ptr<TFolderObject> ScanFolderTree(const std::string& path, const std::string& mask,
                                              bool recursive, const TFileIgnoreList* ignoreList,
                                              TWatchedListings* listings = nullptr);

// Fills an empty folder node from the disk (foundation ListFolder): entries in
// ascending order of their ASCII upper-case names, files into Files and
// folders into Folders, each with the listed attributes and times. Entries
// whose names the ignore list matches (files and folders alike) and entries
// the mask does not match are left out; ignoreList may be null. Symbolic
// links are file nodes and never descended; FIFOs, sockets and devices are
// left out. With recursive set, each sub-folder is scanned completely before
// its next sibling. A folder that does not exist (or vanished) stays empty; a
// folder that exists but cannot be listed raises
// "Cannot list folder "<path>". <reason>".
//
// The mask is a wildcard on the entry's own name: "*" for any run of bytes,
// "?" for any one byte, ASCII letters without regard to case; "*" and "*.*"
// match every name, as on the system this store format comes from.
// With listings, each folder's entries come from it (see ScanFolderTree).
void ScanFolder(TFolderObject& folder, const std::string& mask, bool recursive,
                const TFileIgnoreList* ignoreList, TWatchedListings* listings = nullptr);

}  // namespace pellmor
