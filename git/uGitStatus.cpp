#include "git/uGitStatus.h"

#include "foundation/Exception.h"
#include "git/uGitLibrary.h"

namespace pellmor {

std::string StatusErrorText(git_repository* repository, int result) {
  const char* workdir = git_repository_workdir(repository);
  return Format("Cannot read the status of Git repository \"%s\". %s",
                workdir != nullptr ? workdir : git_repository_path(repository),
                GitErrorText(result).c_str());
}

std::string StatusEntryPath(const git_status_entry& entry) {
  const git_diff_delta* delta =
      entry.index_to_workdir != nullptr ? entry.index_to_workdir : entry.head_to_index;
  return delta->old_file.path != nullptr ? delta->old_file.path : delta->new_file.path;
}

std::vector<std::string> UncommittedChanges(git_repository* repository) {
  git_error_clear();
  git_status_options options;
  int result = git_status_options_init(&options, GIT_STATUS_OPTIONS_VERSION);
  options.show = GIT_STATUS_SHOW_INDEX_AND_WORKDIR;
  // Neither untracked nor ignored files: a checkout leaves them alone.
  options.flags = GIT_STATUS_OPT_EXCLUDE_SUBMODULES;
  git_status_list* raw_list = nullptr;
  if (result == 0) result = git_status_list_new(&raw_list, repository, &options);
  const TGitStatusList list(raw_list);
  if (result != 0) throw Exception(StatusErrorText(repository, result));
  std::vector<std::string> files;
  const size_t count = git_status_list_entrycount(list.get());
  for (size_t i = 0; i < count; ++i) {
    const git_status_entry* entry = git_status_byindex(list.get(), i);
    if ((entry->status & kUncommittedStatus) != 0) files.push_back(StatusEntryPath(*entry));
  }
  return files;
}

}  // namespace pellmor
