#include "scan/WatchedListings.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>

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

}  // namespace

TWatchedListings::TWatchedListings() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

TWatchedListings::~TWatchedListings() {
  if (fd_ >= 0) ::close(fd_);
}

void TWatchedListings::DropAll() {
  kept_.clear();
  for (const auto& [watch, path] : paths_) ::inotify_rm_watch(fd_, watch);
  paths_.clear();
}

void TWatchedListings::Refresh() {
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
      kept_.erase(path);
      // An entry created, removed or renamed moves the folder's own times,
      // which its parent's listing shows.
      if (event->mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO)) {
        const size_t parentEnd = path.rfind('/', path.size() - 2);
        if (parentEnd != std::string::npos) kept_.erase(path.substr(0, parentEnd + 1));
      }
    }
  }
}

const std::vector<TFolderEntry>* TWatchedListings::List(const std::string& path,
                                                        std::vector<TFolderEntry>& scratch) {
  if (const auto kept = kept_.find(path); kept != kept_.end()) return &kept->second;
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
  std::vector<TFolderEntry> entries;
  if (!ListFolder(path, entries)) return nullptr;
  return &kept_.emplace(path, std::move(entries)).first->second;
}

}  // namespace pellmor
