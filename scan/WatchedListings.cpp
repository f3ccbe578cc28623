#include "scan/WatchedListings.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "foundation/AsciiText.h"

namespace pellmor {

namespace {

// Every change inside a folder that a listing shows: entries created,
// removed or renamed, bytes written, attributes or times set; and the folder
// itself removed or renamed.
constexpr uint32_t kWatchedChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                     IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF |
                                     IN_MOVE_SELF;

// Whether an event leaves the watches' paths unsure: a folder created,
// removed or renamed below a watched one, the watched folder itself gone or
// moved, or events lost.
bool MovesFolders(uint32_t mask) {
  if (mask & (IN_Q_OVERFLOW | IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT))
    return true;
  return (mask & IN_ISDIR) != 0 && (mask & (IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO)) != 0;
}

// The most changed entries of one folder read again one by one.
constexpr size_t kMostEntriesReadAgain = 256;

}  // namespace

TWatchedListings::TWatchedListings() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

TWatchedListings::~TWatchedListings() {
  if (fd_ >= 0) ::close(fd_);
}

void TWatchedListings::DropAll() {
  kept_.clear();
  stale_.clear();
  for (const auto& [watch, path] : paths_) ::inotify_rm_watch(fd_, watch);
  paths_.clear();
}

void TWatchedListings::Refresh() {
  ++refreshes_;
  if (fd_ < 0) return;
  alignas(inotify_event) char buffer[64 * 1024];
  for (;;) {
    const ssize_t got = ::read(fd_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      // EAGAIN: nothing more queued. Any other failure leaves the changes
      // unknown: nothing kept can be trusted.
      if (got == 0 || errno != EAGAIN) DropAll();
      return;
    }
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (MovesFolders(event->mask)) {
        // Removing the watches queues their own IN_IGNORED events, which
        // name watches no longer known and are passed over.
        if (!paths_.empty()) DropAll();
        continue;
      }
      const auto watched = paths_.find(event->wd);
      if (watched == paths_.end()) continue;
      const std::string& path = watched->second;
      // The changed entry, named in the event (an event on the folder itself
      // names none, and changes only the folder's own entry in its parent).
      const std::string name = event->len != 0 ? std::string(event->name) : std::string();
      if (!name.empty()) MarkStale(path, name);
      // An entry created, removed or renamed moves the folder's own times,
      // which its parent's listing shows.
      if (name.empty() || (event->mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO))) {
        const size_t parentEnd = path.rfind('/', path.size() - 2);
        if (parentEnd != std::string::npos)
          MarkStale(path.substr(0, parentEnd + 1),
                    path.substr(parentEnd + 1, path.size() - parentEnd - 2));
      }
    }
  }
}

void TWatchedListings::MarkStale(const std::string& path, const std::string& name) {
  if (kept_.count(path) != 0) stale_[path].insert(name);
}

bool TWatchedListings::ReadStaleEntries(const std::string& path, TKept& kept) {
  const auto stale = stale_.find(path);
  if (stale == stale_.end()) return true;
  // Each entry put in its place moves the ones after it: past so many, one
  // listing of the whole folder costs less.
  if (stale->second.size() > kMostEntriesReadAgain) return false;
  const auto before = [](const TFolderEntry& entry,
                          const std::pair<std::string, std::string>& key) {
    return ListedBefore(UpperCaseAscii(entry.Name), entry.Name, key.first, key.second);
  };
  for (const std::string& name : stale->second) {
    TFolderEntry fresh;
    fresh.Name = name;
    errno = 0;
    bool present = ReadEntryInfo(path + name, fresh.Info);
    // Anything but "gone" is for a full listing to meet (and report).
    if (!present && errno != ENOENT && errno != ENOTDIR) return false;
    present = present && fresh.Info.Type != EntryType::Special;
    std::vector<TFolderEntry>& entries = kept.Entries;
    const auto at = std::lower_bound(entries.begin(), entries.end(),
                                     std::make_pair(UpperCaseAscii(name), name), before);
    const bool listed = at != entries.end() && at->Name == name;
    const auto readAfter = kept.ReadAfter.begin() + (at - entries.begin());
    if (present && listed) {
      *at = std::move(fresh);
      *readAfter = refreshes_;
    } else if (present) {
      entries.insert(at, std::move(fresh));
      kept.ReadAfter.insert(readAfter, refreshes_);
    } else if (listed) {
      entries.erase(at);
      kept.ReadAfter.erase(readAfter);
    }
  }
  ++entryReads_;
  stale_.erase(stale);
  return true;
}

const std::vector<TFolderEntry>* TWatchedListings::List(
    const std::string& path, std::vector<TFolderEntry>& scratch,
    const std::vector<uint64_t>** unchangedSince) {
  if (unchangedSince != nullptr) *unchangedSince = nullptr;
  const auto keep = [&](TKept& kept) {
    if (unchangedSince != nullptr) *unchangedSince = &kept.ReadAfter;
    return &kept.Entries;
  };
  if (const auto kept = kept_.find(path); kept != kept_.end()) {
    if (ReadStaleEntries(path, kept->second)) return keep(kept->second);
    kept_.erase(kept);
    stale_.erase(path);
  }
  ++diskListings_;
  // The watch comes first: whatever changes after it is reported, so a
  // listing read after it is good until its folder's first event.
  int watch = -1;
  if (fd_ >= 0) {
    // A folder watched already gets its watch back; the same folder reached
    // by two paths has one watch: then neither path's listing is kept.
    watch = ::inotify_add_watch(fd_, path.c_str(), kWatchedChanges | IN_ONLYDIR | IN_DONT_FOLLOW);
    if (watch >= 0 && paths_.emplace(watch, path).first->second != path) watch = -1;
  }
  if (watch < 0) return ListFolder(path, scratch) ? &scratch : nullptr;
  TKept kept;
  if (!ListFolder(path, kept.Entries)) return nullptr;
  kept.ReadAfter.assign(kept.Entries.size(), refreshes_);
  return keep(kept_.insert_or_assign(path, std::move(kept)).first->second);
}

}  // namespace pellmor
