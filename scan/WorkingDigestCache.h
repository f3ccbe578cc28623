// The digests of working files already read during one conversion run, so
// that a file whose identity has not changed since it was hashed is not read
// again on the next comparison. A file's identity is what lstat reports of it:
// device, inode, size, and last-modification and status-change times.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "foundation/uMyHash.h"

namespace pellmor {

// A working file's identity at one instant (times in ns since 1970, UTC).
struct TFileStamp {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  int64_t Size = 0;
  int64_t ModifiedNs = 0;  // mtime
  int64_t ChangedNs = 0;   // ctime: every change of the file moves it, and no user sets it
  bool operator==(const TFileStamp&) const = default;
};

// Remembers, by relative name, the digest of the bytes read under a stamp.
// A digest is kept only when the stamp's times are older, by kSafeMarginNs,
// than the start of the comparison pass that took the stamp: a file written
// after that start gets a status-change time that no coarse file-system clock
// can round down to the kept one, so whatever changes the file later changes
// its stamp, and the file is read again. Used by one thread.
class TWorkingDigestCache {
 public:
  // Where stamps and the time come from: the system (lstat, the real-time
  // clock) unless a test supplies its own.
  class TSource {
   public:
    virtual ~TSource() = default;
    // The stamp of the entry at path, a symbolic link itself and not its
    // target; nothing when it cannot be had (no entry there, no access).
    virtual std::optional<TFileStamp> Stamp(const std::string& path) = 0;
    // Now, in ns since 1970, UTC.
    virtual int64_t NowNs() = 0;
  };

  static constexpr int64_t kSafeMarginNs = 1'000'000'000;

  // The system's: lstat and the real-time clock.
  static std::unique_ptr<TSource> SystemSource();

  TWorkingDigestCache() : TWorkingDigestCache(SystemSource()) {}
  explicit TWorkingDigestCache(std::unique_ptr<TSource> source);

  // Starts a comparison pass: the clock is read before any of its stamps.
  void BeginPass();
  // The stamp of the working file at path, taken now (see TSource::Stamp).
  std::optional<TFileStamp> Stamp(const std::string& path) { return source_->Stamp(path); }
  // The digest kept for name when it was kept under exactly this stamp.
  const TContentDigest* Find(const std::string& name, const TFileStamp& stamp) const;
  // The file of this name, stamped in this pass before it was read, read
  // into bytes whose digest is given: kept when the stamp is old enough,
  // otherwise whatever was kept for the name is dropped.
  void Record(const std::string& name, const TFileStamp& stamp, const TContentDigest& digest);
  size_t Count() const { return entries_.size(); }

 private:
  struct Entry {
    TFileStamp Stamp;
    TContentDigest Digest;
  };

  std::unique_ptr<TSource> source_;
  int64_t passStartNs_ = 0;
  std::unordered_map<std::string, Entry> entries_;
};

}  // namespace pellmor
