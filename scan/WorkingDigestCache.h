// The digests of working files already read during one conversion run, so
// that a file whose stamp (TFileStamp: device, inode, size, last-modification
// and status-change times, as the folder scan saw them) has not changed since
// it was hashed is not read again on the next comparison.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "foundation/Platform.h"
#include "foundation/uMyHash.h"
#include "scan/WatchedListings.h"
#include "scan/uMyFileUtils.h"

namespace pellmor {

// Remembers, by relative name, the digest of the bytes read under a stamp.
// A digest is settled when the stamp's times are older, by the stamp's
// margin (MarginNs), than the start of the comparison pass that took the
// stamp: a file written after that start gets a status-change time that its
// file system's clock cannot round down to the kept one, so whatever changes
// the file later changes its stamp, and the file is read again. A younger
// digest is given out only while the folder's watch (TWatchedListings)
// vouches that nothing changed the file since it was read: a file the
// checkout just wrote is not read again at every commit until its times are
// old enough. Used by one thread.
class TWorkingDigestCache {
 public:
  // Where stamps and the time come from: the scan and the real-time clock,
  // unless a test supplies its own.
  class TSource {
   public:
    virtual ~TSource() = default;
    // The stamp of a scanned working file (a symbolic link's own).
    virtual TFileStamp Stamp(const TFileObject& file) = 0;
    // Now, in ns since 1970, UTC.
    virtual int64_t NowNs() = 0;
  };

  // Two seconds: the coarsest file-system clock in use (FAT's) counts in
  // steps of two seconds, so a write within one step leaves the same times.
  static constexpr int64_t kCoarseMarginNs = 2'000'000'000;
  // A tenth of a second, for a file system that keeps sub-second times: the
  // kernel stamps files from a clock that lags the real one by at most one
  // scheduler tick (a few milliseconds).
  static constexpr int64_t kFineMarginNs = 100'000'000;

  // How much older than the pass a stamp's times must be for its digest to be
  // kept: a file system that counts in whole seconds or in steps of two
  // seconds leaves no fraction of a second in its times, so a time with one
  // proves a fine clock; times without one are taken as coarse.
  static int64_t MarginNs(const TFileStamp& stamp);

  // The system's: the scan's stamps and the real-time clock.
  static std::unique_ptr<TSource> SystemSource();

  TWorkingDigestCache() : TWorkingDigestCache(SystemSource()) {}
  explicit TWorkingDigestCache(std::unique_ptr<TSource> source);

  // Starts a comparison pass: the clock is read before the folder is
  // scanned for it.
  void BeginPass();
  // The stamp of a working file of the pass's scan (see TSource::Stamp).
  TFileStamp Stamp(const TFileObject& file) { return source_->Stamp(file); }
  // The digest kept for name when it was kept under exactly this stamp and
  // is settled, or was read after the watch's Refresh unchangedSince (the
  // scanned entry's TFileObject::UnchangedSince).
  const TContentDigest* Find(const std::string& name, const TFileStamp& stamp,
                             uint64_t unchangedSince = kNotWatched) const;
  // The file of this name, stamped by the pass's scan before it was read, read
  // into bytes whose digest is given, after the watch's Refresh readAfter
  // (kNotWatched: no watch vouches for the file): kept when the stamp is old
  // enough or a watch vouches for it, otherwise whatever was kept for the
  // name is dropped.
  void Record(const std::string& name, const TFileStamp& stamp, const TContentDigest& digest,
              uint64_t readAfter = kNotWatched);
  size_t Count() const { return entries_.size(); }

 private:
  struct Entry {
    TFileStamp Stamp;
    TContentDigest Digest;
    bool Settled = false;
    uint64_t ReadAfter = kNotWatched;  // of a digest not settled: never kNotWatched
  };

  std::unique_ptr<TSource> source_;
  int64_t passStartNs_ = 0;
  std::unordered_map<std::string, Entry> entries_;
};

}  // namespace pellmor
