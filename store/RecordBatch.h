// Revisions recorded by a run of engines and made durable together, every so
// often, instead of one by one: the waits for the disk that keep a power loss
// from harming the store are then paid once a batch, not once a revision.
//
// An engine given a batch (TQuarv_Engine::Batch) writes its revision's files
// but not History.txt: the revision's history line stays here, and the next
// engine given the batch takes it as listed. Flush makes every file the batch
// wrote durable, and only then writes History.txt with the batch's lines and
// makes it durable too. Until then History.txt and every reader of the store
// see the store as the last Flush left it, whole; a power loss or a stopped
// process loses the batch's revisions (their container files stay behind
// unnamed, and the revisions recorded next replace them).
#pragma once

#include <set>
#include <string>
#include <vector>

#include "store/uMyHistory.h"

namespace pellmor {

class TRecordBatch {
 public:
  // The history lines of the revisions recorded since the last Flush, in order.
  const std::vector<TMyHistoryItem>& Pending() const { return pending_; }

  // For Commit: a revision recorded into the batch, its history line, the
  // history History.txt (historyFile) is to hold with it, and the files
  // written for it that must be durable before History.txt names it. The
  // history of every revision after the batch's first is the one before it
  // plus its line (an engine given the batch lists the batch's lines after
  // History.txt's), so only the first revision's is copied: the cost of a
  // revision does not grow with the history.
  void Add(const TMyHistoryItem& line, const std::string& historyFile,
           const TMyHistoryData& history, const std::vector<std::string>& written);

  // Makes the batch's revisions recorded and durable: each file they wrote
  // synced, with the folders that hold them, then History.txt replaced by
  // the lines of the last revision added, synced. Nothing for an empty
  // batch. Raises the file layer's errors; the batch is then kept.
  void Flush();

 private:
  std::vector<TMyHistoryItem> pending_;
  std::string historyFile_;
  std::vector<std::string> history_;
  std::set<std::string> written_;
};

}  // namespace pellmor
