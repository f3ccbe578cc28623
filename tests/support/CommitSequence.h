// A small history recorded through the store engine alone, for the tests
// that stop it part-way (a killed process, a power loss): four revisions
// with changes, an addition, a deletion, a compressed file and two renames
// consumed from Rename.txt, each staged and saved in Index.dat before its
// Commit. And the revisions a store holds, read back through a new engine.
#pragma once

#include <functional>
#include <map>
#include <string>

namespace pellmor::test {

// The live files of a revision: name -> bytes.
using CommitFiles = std::map<std::string, std::string>;

// How many revisions the sequence records.
constexpr int kSequenceRevisions = 4;
// The files of revision k (1 to kSequenceRevisions; 0: none).
const CommitFiles& SequenceState(int k);

// Writes the Rename.txt the sequence consumes into root's store.
void PrepareSequence(const std::string& root);
// Records the sequence in root (ending in '/'), one engine per revision;
// recorded(k) follows each Commit that returned. With batchEvery > 0 the
// engines record into one TRecordBatch, flushed every batchEvery revisions
// and at the end, and recorded(k) follows the Flush that records k.
void RunCommitSequence(const std::string& root, const std::function<void(int)>& recorded = {},
                       int batchEvery = 0);

// The live files of every revision the history of root lists, read back
// through a new engine (raising the engine's errors). A revision listed
// without a container fails the running test.
std::map<int, CommitFiles> RecordedRevisions(const std::string& root);

// After the sequence was stopped part-way, checks (failing the running test)
// that every revision the history lists holds its files and is linked to
// the next one listed, and that the next Commit goes on: a new engine records
// after.txt, with whatever Index.dat a stopped Commit left staged, as the
// next revision, the earlier ones unchanged and the one before linked to it.
// Returns how many revisions were listed before that Commit.
int CheckRecordedRevisionsAndGoOn(const std::string& root);

}  // namespace pellmor::test
