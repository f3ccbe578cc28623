#include "store/RecordBatch.h"

#include "foundation/Platform.h"
#include "foundation/TextLines.h"

namespace pellmor {

void TRecordBatch::Add(const TMyHistoryItem& line, const std::string& historyFile,
                       const TMyHistoryData& history, const std::vector<std::string>& written) {
  if (pending_.empty())
    history_ = history.FileNames();
  else
    history_.push_back(line.FileName);
  pending_.push_back(line);
  historyFile_ = historyFile;
  written_.insert(written.begin(), written.end());
}

void TRecordBatch::Flush() {
  if (pending_.empty()) return;
  std::set<std::string> folders;
  for (const std::string& path : written_) {
    SyncFile(path);
    folders.insert(FolderOf(path));
  }
  for (const std::string& folder : folders) SyncFolder(folder);
  TFileReplacement history(historyFile_, [&](TStream& file) { WriteTextLines(file, history_); });
  history.Sync();
  history.Publish();
  SyncFolder(FolderOf(historyFile_));
  pending_.clear();
  history_.clear();
  written_.clear();
}

}  // namespace pellmor
