#include "tests/support/CommitSequence.h"

#include <gtest/gtest.h>

#include <vector>

#include "foundation/Platform.h"
#include "store/RecordBatch.h"
#include "store/uQuarvEngine.h"
#include "tests/support/TempDir.h"

namespace pellmor::test {

namespace {

const std::string kBinary = [] {
  std::string bytes(400, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31 % 256);
  return bytes;
}();

// The working files at each revision, and the renames that lead to it.
const std::vector<CommitFiles> kStates = {
    {},
    {{"a.txt", "alpha"}, {"b.bin", kBinary}, {"c.txt", "gamma"}, {"keep.txt", "keep"}},
    {{"a.txt", "alpha 2"},
     {"b.bin", kBinary},
     {"c.txt", "gamma"},
     {"d.txt", "delta"},
     {"keep.txt", "keep"}},
    {{"a.txt", "alpha 2"}, {"c2.txt", "gamma"}, {"d.txt", "delta"}, {"keep.txt", "keep"}},
    {{"a.txt", "alpha 4"}, {"c2.txt", "gamma"}, {"d2.txt", "delta"}, {"keep.txt", "keep"}},
};
const std::vector<std::map<std::string, std::string>> kRenames = {
    {}, {}, {}, {{"c.txt", "c2.txt"}}, {{"d.txt", "d2.txt"}}};

std::string Text(const TMemoryStream& stream) {
  return std::string(reinterpret_cast<const char*>(stream.Memory()), stream.Size());
}

void SetBytes(TMyFile& entry, const std::string& bytes) {
  entry.Content.Assign(bytes.data(), bytes.size());
}

// Stages the step from revision k - 1 to k as the change loader would.
void StageRevision(TQuarv_Engine& engine, int k) {
  TMyFileList& index = engine.Index->Files;
  const CommitFiles& before = kStates[static_cast<size_t>(k - 1)];
  const CommitFiles& after = kStates[static_cast<size_t>(k)];
  const auto& renames = kRenames[static_cast<size_t>(k)];
  std::map<std::string, std::string> renamedTo;
  for (const auto& [from, to] : renames) {
    TMyFile* added = index.FindOrAdd(to);
    SetBytes(*added, after.at(to));
    added->ChangeKind = ckAdded;
    added->IsLink = true;
    added->LinkName = from;
    TMyFile* removed = index.FindOrAdd(from);
    removed->IsLink = true;
    removed->Deleted = true;
    removed->LinkName = to;
    renamedTo[to] = from;
  }
  for (const auto& [name, bytes] : after) {
    if (renamedTo.count(name)) continue;
    const auto old = before.find(name);
    if (old != before.end() && old->second == bytes) continue;
    TMyFile* entry = index.FindOrAdd(name);
    SetBytes(*entry, bytes);
    entry->ChangeKind = old == before.end() ? ckAdded : ckModified;
  }
  for (const auto& [name, bytes] : before)
    if (!after.count(name) && !renames.count(name)) index.FindOrAdd(name)->Deleted = true;
}

}  // namespace

const CommitFiles& SequenceState(int k) { return kStates.at(static_cast<size_t>(k)); }

void PrepareSequence(const std::string& root) {
  WriteFile(root + ".Quarv/Rename.txt", "\"c.txt\"->\"c2.txt\"\r\n\"d.txt\"->\"d2.txt\"\r\n");
}

void RunCommitSequence(const std::string& root, const std::function<void(int)>& recorded,
                       int batchEvery) {
  TRecordBatch batch;
  int flushed = 0;
  for (int k = 1; k <= kSequenceRevisions; ++k) {
    TQuarv_Engine engine(root);
    if (batchEvery > 0) engine.Batch = &batch;
    engine.Load();
    StageRevision(engine, k);
    engine.SaveIndex();
    engine.CommitUtc("revision " + std::to_string(k), "ann", 133000000000000000ULL + k, "a@b");
    if (batchEvery > 0 && k % batchEvery != 0 && k != kSequenceRevisions) continue;
    batch.Flush();
    for (; flushed < k; ++flushed)
      if (recorded) recorded(flushed + 1);
  }
}

std::map<int, CommitFiles> RecordedRevisions(const std::string& root) {
  TQuarv_Engine engine(root);
  engine.Load();
  std::map<int, CommitFiles> revisions;
  for (const auto& item : engine.History.Items) {
    TMyContaner* container = engine.FileSystem->FindByNumber(item->Revision);
    if (container == nullptr) {
      ADD_FAILURE() << "revision " << item->Revision << " has no container";
      continue;
    }
    if (!container->Loaded)
      container->LoadFromFile(engine.FileSystem->ContainerFileName(container->Number));
    CommitFiles& files = revisions[item->Revision];
    for (const auto& entry : container->Files) {
      if (entry->Deleted) continue;
      engine.LoadContent(*entry);
      files[entry->Name()] = Text(entry->Content);
    }
  }
  return revisions;
}

int CheckRecordedRevisionsAndGoOn(const std::string& root) {
  const std::map<int, CommitFiles> recorded = RecordedRevisions(root);
  const int count = static_cast<int>(recorded.size());
  for (const auto& [number, files] : recorded) {
    EXPECT_EQ(files, SequenceState(number)) << "revision " << number;
    // Linked to the next one that the history lists.
    if (number < count) {
      TMyContaner container;
      container.LoadFromFile(root + ".Quarv/Objects/" + std::to_string(number) + ".dat", lpRecords);
      EXPECT_EQ(container.NextNumber, number + 1) << "revision " << number;
    }
  }

  // What the next revision should hold: the newest one's files with what
  // Index.dat stages applied to them.
  CommitFiles want = count > 0 ? SequenceState(count) : CommitFiles{};
  if (FileExists(root + ".Quarv/Index.dat")) {
    TMyContaner staged;
    staged.LoadFromFile(root + ".Quarv/Index.dat");
    for (const auto& entry : staged.Files) {
      if (entry->Deleted)
        want.erase(entry->Name());
      else
        want[entry->Name()] = Text(entry->Content);
    }
  }
  want["after.txt"] = "written after the stop";
  {
    TQuarv_Engine engine(root);
    engine.Load();
    TMyFile* added = engine.Index->Files.FindOrAdd("after.txt");
    SetBytes(*added, "written after the stop");
    added->ChangeKind = ckAdded;
    engine.CommitUtc("after the stop", "", 1, "");
  }
  const std::map<int, CommitFiles> after = RecordedRevisions(root);
  EXPECT_EQ(static_cast<int>(after.size()), count + 1);
  if (after.count(count + 1)) {
    EXPECT_EQ(after.at(count + 1), want);
  }
  for (const auto& [number, files] : recorded) {
    if (after.count(number)) {
      EXPECT_EQ(after.at(number), files);
    }
  }
  if (count > 0) {
    TMyContaner previous;
    previous.LoadFromFile(root + ".Quarv/Objects/" + std::to_string(count) + ".dat");
    EXPECT_EQ(previous.NextNumber, count + 1);
  }
  return count;
}

}  // namespace pellmor::test
