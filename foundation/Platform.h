// The one narrow layer between the program and the operating system: paths,
// existence tests, folder creation, entry attributes and times, folder
// listing, whole-file reads and crash-safe whole-file writes, the clock and
// the local time zone.
//
// Attributes and times take the Windows forms that the store keeps:
// attribute bits as below, times as FILETIME values (100-ns intervals since
// 1601-01-01 UTC).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Streams.h"

namespace pellmor {

// Attribute bits, mapped from POSIX modes as Samba maps them.
constexpr uint32_t kAttrReadOnly = 0x01;       // the owner may not write
constexpr uint32_t kAttrHidden = 0x02;         // the name starts with a dot
constexpr uint32_t kAttrDirectory = 0x10;      // a folder
constexpr uint32_t kAttrArchive = 0x20;        // a regular file the owner may execute
constexpr uint32_t kAttrNormal = 0x80;         // a file or link with none of the bits above
constexpr uint32_t kAttrReparsePoint = 0x400;  // a symbolic link
// The bits that a Git file mode carries (executable, symbolic link): a file
// whose bits among these change has changed, whatever its bytes.
constexpr uint32_t kAttrModeBits = kAttrArchive | kAttrReparsePoint;

// path with a '/' at its end.
std::string IncludeTrailingDelimiter(const std::string& path);
// The disk path of a store name: root (ending in '/') + name with '\' turned into '/'.
std::string DiskPath(const std::string& root, const std::string& relativeName);

// An entry other than a folder (a link counts as a file, and is not followed).
bool FileExists(const std::string& path);
// A folder (a link to a folder counts).
bool DirectoryExists(const std::string& path);
// Creates the folder and any missing parents, each made durable in the
// folder above it (SyncFolder); raises "Cannot create folder "%s". %s".
void ForceDirectories(const std::string& path);
// Deletes a file; a missing file is no error. Raises "Cannot delete file "%s". %s".
// The removal is durable once the folder is synced (SyncFolder).
void RemoveFile(const std::string& path);
// The folder that holds path ("." for a bare name): /a/b/c.dat gives /a/b.
std::string FolderOf(const std::string& path);
// Makes the bytes of a file written earlier durable. Raises "Cannot open
// file "%s". %s" or "Cannot write file "%s". %s".
void SyncFile(const std::string& path);
// Makes the entries created, renamed and removed in a folder so far durable,
// so that a power loss cannot undo them. Raises "Cannot write folder "%s". %s".
void SyncFolder(const std::string& path);
// Deletes a folder when it is empty; returns whether it did.
bool RemoveEmptyFolder(const std::string& path);

enum class EntryType { File, Folder, Link, Special };

// What tells whether a file may have changed since it was last looked at:
// where it lives, its size and two times (ns since 1970, UTC). Every change
// of a file moves its status-change time, which no user can set.
struct TFileStamp {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  int64_t Size = 0;
  int64_t ModifiedNs = 0;  // mtime
  int64_t ChangedNs = 0;   // ctime
  bool operator==(const TFileStamp&) const = default;
};

struct TEntryInfo {
  EntryType Type = EntryType::File;
  uint32_t Attributes = 0;
  uint64_t LastWriteTime = 0;
  uint64_t CreationTime = 0;  // birth time where the file system reports one, else last write
  uint64_t LastAccessTime = 0;
  TFileStamp Stamp;
};

// Reads one entry's type, attributes and times without following a link.
// Returns false when nothing exists at path.
bool ReadEntryInfo(const std::string& path, TEntryInfo& info);

struct TFolderEntry {
  std::string Name;
  TEntryInfo Info;
};

// Whether name a (upperA its ASCII upper case) comes before name b in a
// folder's listing: by the upper-case names, then, for names equal but for
// case (Linux allows a and A side by side), by the names' own bytes, so that
// a listing never depends on the directory's order.
inline bool ListedBefore(const std::string& upperA, const std::string& a,
                         const std::string& upperB, const std::string& b) {
  return upperA != upperB ? upperA < upperB : a < b;
}

// Lists one folder: "." and ".." and special files (FIFOs, sockets, devices)
// left out, the rest in ListedBefore's order. Returns false when the folder
// does not exist (or vanished); a folder that exists but cannot be read
// raises "Cannot list folder "%s". %s".
bool ListFolder(const std::string& path, std::vector<TFolderEntry>& entries);

// Replaces content by the bytes of a file (position 0). A symbolic link is not
// followed: its content is its target text. Raises "Cannot open file "%s". %s"
// (also for a folder, FIFO, socket or device, without waiting on it) or
// "Cannot read file "%s". %s".
void ReadFileContent(const std::string& path, TMemoryStream& content);

// Reads up to count bytes of a file from offset into buffer, opening the file
// for this read alone (one open, read and close; no lock taken, never
// waiting: a FIFO in its place opens at once and refuses the read); returns
// how many bytes there were. Raises "Cannot open file "%s". %s" (a folder or
// anything else that is not a regular file included) or "Cannot read file
// "%s". %s".
size_t ReadFileAt(const std::string& path, int64_t offset, void* buffer, size_t count);

// A whole file replaced in steps, so that a caller can make the bytes of
// several files durable together, and in the order a reader needs, before
// the name that points at them is: the bytes go to path + ".tmp" (whatever
// stood there removed first) when the replacement is made; Sync makes them
// durable, Publish renames them over path. Destroyed before Publish, it
// removes the temporary file again. Raises the file layer's errors; path is
// then as it was.
class TFileReplacement {
 public:
  TFileReplacement(std::string path, const std::function<void(TStream&)>& write);
  TFileReplacement(const TFileReplacement&) = delete;
  TFileReplacement& operator=(const TFileReplacement&) = delete;
  ~TFileReplacement();

  // Makes the new bytes durable (before or after Publish).
  void Sync();
  // Renames the new file over path: "Cannot create file "%s". %s". The
  // rename is durable once the folder is synced (SyncFolder).
  void Publish();

 private:
  std::string path_;
  std::string temporary_;
  std::unique_ptr<TFileStream> file_;
  bool published_ = false;
};

// Writes a whole file so that a reader (or a process killed at any instant,
// or a power loss) sees either the old file or the new one, never a
// half-written one: a TFileReplacement synced, published, and its folder
// synced.
void WriteFileAtomically(const std::string& path, const std::function<void(TStream&)>& write);

// Writes a whole file so that a reader, or a process killed at any instant,
// sees either the old file or the new one: a TFileReplacement published
// without waiting for the disk. After a power loss the file may be the old
// one; use it for files that guard against a killed process only.
void ReplaceFile(const std::string& path, const std::function<void(TStream&)>& write);

// Rewrites the regular file at path in place: bytes, then as many pad bytes
// as keep its former size, in one write of at most kSmallFileBytes at its
// start, which a killed process cannot leave half done and which creates no
// file. Returns false, writing nothing, when no regular file stands at path
// or the whole would not fit; raises "Cannot write file "%s". %s". After a
// power loss the file may be the old one, as with ReplaceFile.
constexpr size_t kSmallFileBytes = 4096;
bool RewriteSmallFile(const std::string& path, const std::string& bytes, char pad);

// Whether standard output is a terminal, and its width in columns (0 when
// it reports none).
bool StandardOutputIsTerminal();
int StandardOutputColumns();

// Now, in ns since 1970-01-01 00:00 UTC (the real-time clock).
int64_t RealTimeNs();

// The wall-clock reading of the process's time zone (TZ) at a POSIX instant.
struct TLocalTime {
  int64_t Year = 1970;
  int Month = 1;  // 1 to 12
  int Day = 1;    // 1 to 31
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int64_t UtcOffset = 0;  // seconds east of UTC in force at that instant
};
// Fills local for the instant (seconds since 1970-01-01 00:00 UTC); false
// when the C library cannot express the instant in local time.
bool LocalTimeAt(int64_t seconds, TLocalTime& local);

// Fault injection for crash tests. CrashPoint marks an instant inside a
// multi-file write; after ArmCrashPoints(n), the n-th CrashPoint reached kills
// the process at once (SIGKILL). Unarmed it does nothing.
void ArmCrashPoints(int n);
void CrashPoint(const char* name);

}  // namespace pellmor
