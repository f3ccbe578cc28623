#include "git/uGitStatus.h"

#include <memory>

#include "foundation/Exception.h"
#include "git/uGitLibrary.h"

namespace pellmor {

namespace {

struct TGitStatusListFree {
  void operator()(git_status_list* list) const { git_status_list_free(list); }
};

constexpr unsigned kOverwritten = GIT_STATUS_INDEX_NEW | GIT_STATUS_INDEX_MODIFIED |
                                  GIT_STATUS_INDEX_DELETED | GIT_STATUS_INDEX_RENAMED |
                                  GIT_STATUS_INDEX_TYPECHANGE | GIT_STATUS_WT_MODIFIED |
                                  GIT_STATUS_WT_DELETED | GIT_STATUS_WT_TYPECHANGE |
                                  GIT_STATUS_WT_RENAMED | GIT_STATUS_CONFLICTED;

}  // namespace

std::vector<std::string> UncommittedChanges(git_repository* repository) {
  git_error_clear();
  git_status_options options;
  int result = git_status_options_init(&options, GIT_STATUS_OPTIONS_VERSION);
  options.show = GIT_STATUS_SHOW_INDEX_AND_WORKDIR;
  // Neither untracked nor ignored files: a checkout leaves them alone.
  options.flags = GIT_STATUS_OPT_EXCLUDE_SUBMODULES;
  git_status_list* raw_list = nullptr;
  if (result == 0) result = git_status_list_new(&raw_list, repository, &options);
  const std::unique_ptr<git_status_list, TGitStatusListFree> list(raw_list);
  if (result != 0) {
    const char* workdir = git_repository_workdir(repository);
    throw Exception(Format("Cannot read the status of Git repository \"%s\". %s",
                           workdir != nullptr ? workdir : git_repository_path(repository),
                           GitErrorText(result).c_str()));
  }
  std::vector<std::string> files;
  const size_t count = git_status_list_entrycount(list.get());
  for (size_t i = 0; i < count; ++i) {
    const git_status_entry* entry = git_status_byindex(list.get(), i);
    if ((entry->status & kOverwritten) == 0) continue;
    const git_diff_delta* delta =
        entry->index_to_workdir != nullptr ? entry->index_to_workdir : entry->head_to_index;
    files.emplace_back(delta->old_file.path != nullptr ? delta->old_file.path
                                                       : delta->new_file.path);
  }
  return files;
}

}  // namespace pellmor
