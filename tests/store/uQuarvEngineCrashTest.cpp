// Kills a process at every write instant of a sequence of Commits and checks
// that the store it leaves behind keeps every recorded revision and takes the
// next Commit.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "foundation/Platform.h"
#include "store/uQuarvEngine.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

using Files = std::map<std::string, std::string>;

const std::string kBinary = [] {
  std::string bytes(400, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31 % 256);
  return bytes;
}();

// The working files at each revision, and the renames that lead to it.
const std::vector<Files> kStates = {
    {},
    {{"a.txt", "alpha"}, {"b.bin", kBinary}, {"c.txt", "gamma"}, {"keep.txt", "keep"}},
    {{"a.txt", "alpha 2"}, {"b.bin", kBinary}, {"c.txt", "gamma"}, {"d.txt", "delta"},
     {"keep.txt", "keep"}},
    {{"a.txt", "alpha 2"}, {"c2.txt", "gamma"}, {"d.txt", "delta"}, {"keep.txt", "keep"}},
    {{"a.txt", "alpha 4"}, {"c2.txt", "gamma"}, {"d2.txt", "delta"}, {"keep.txt", "keep"}},
};
const std::vector<std::map<std::string, std::string>> kRenames = {
    {}, {}, {}, {{"c.txt", "c2.txt"}}, {{"d.txt", "d2.txt"}}};
constexpr int kRevisions = 4;

std::string Text(const TMemoryStream& stream) {
  return std::string(reinterpret_cast<const char*>(stream.Memory()), stream.Size());
}

void SetBytes(TMyFile& entry, const std::string& bytes) {
  entry.Content.Assign(bytes.data(), bytes.size());
}

// Stages the step from revision k - 1 to k as the change loader would.
void StageRevision(TQuarv_Engine& engine, int k) {
  TMyFileList& index = engine.Index->Files;
  const Files& before = kStates[static_cast<size_t>(k - 1)];
  const Files& after = kStates[static_cast<size_t>(k)];
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

void RunCommits(const std::string& root) {
  for (int k = 1; k <= kRevisions; ++k) {
    TQuarv_Engine engine(root);
    engine.Load();
    StageRevision(engine, k);
    engine.SaveIndex();
    engine.CommitUtc("revision " + std::to_string(k), "ann", 133000000000000000ULL + k, "a@b");
  }
}

// The live files of every recorded revision, read back through a new engine.
std::map<int, Files> RecordedRevisions(const std::string& root) {
  TQuarv_Engine engine(root);
  engine.Load();
  std::map<int, Files> revisions;
  for (const auto& item : engine.History.Items) {
    TMyContaner* container = engine.FileSystem->FindByNumber(item->Revision);
    if (container == nullptr) {
      ADD_FAILURE() << "revision " << item->Revision << " has no container";
      continue;
    }
    if (!container->Loaded)
      container->LoadFromFile(engine.FileSystem->ContainerFileName(container->Number));
    Files& files = revisions[item->Revision];
    for (const auto& entry : container->Files) {
      if (entry->Deleted) continue;
      engine.LoadContent(*entry);
      files[entry->Name()] = Text(entry->Content);
    }
  }
  return revisions;
}

TEST(CommitCrashTest, EveryRecordedRevisionSurvivesAKillAtAnyWrite) {
  int killed = 0;
  for (int point = 1;; ++point) {
    ASSERT_LT(point, 200) << "the commit sequence never finished";
    test::TempDir dir;
    const std::string root = dir.Path();
    test::WriteFile(dir / ".Quarv/Rename.txt", "\"c.txt\"->\"c2.txt\"\r\n\"d.txt\"->\"d2.txt\"\r\n");

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ArmCrashPoints(point);
      try {
        RunCommits(root);
      } catch (...) {
        _exit(2);
      }
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status)) {
      ASSERT_EQ(WEXITSTATUS(status), 0) << "the commits failed without a kill";
      EXPECT_EQ(RecordedRevisions(root).size(), static_cast<size_t>(kRevisions));
      break;
    }
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "point " << point;
    ++killed;
    SCOPED_TRACE("killed at write instant " + std::to_string(point));

    // Every revision that made it into the history is whole.
    const std::map<int, Files> recorded = RecordedRevisions(root);
    const int count = static_cast<int>(recorded.size());
    for (const auto& [number, files] : recorded) {
      EXPECT_EQ(files, kStates[static_cast<size_t>(number)]) << "revision " << number;
    }

    // The next Commit works on what is left, including a staged index that
    // the killed Commit had not yet consumed.
    const bool staged = FileExists(dir / ".Quarv/Index.dat");
    {
      TQuarv_Engine engine(root);
      engine.Load();
      TMyFile* added = engine.Index->Files.FindOrAdd("after.txt");
      SetBytes(*added, "written after the kill");
      added->ChangeKind = ckAdded;
      engine.CommitUtc("after the kill", "", 1, "");
    }
    const std::map<int, Files> after = RecordedRevisions(root);
    ASSERT_EQ(static_cast<int>(after.size()), count + 1);
    Files want = kStates[static_cast<size_t>(staged ? count + 1 : count)];
    want["after.txt"] = "written after the kill";
    EXPECT_EQ(after.at(count + 1), want);
    for (const auto& [number, files] : recorded) EXPECT_EQ(after.at(number), files);
    if (count > 0) {
      TMyContaner previous;
      previous.LoadFromFile(dir / (".Quarv/Objects/" + std::to_string(count) + ".dat"));
      EXPECT_EQ(previous.NextNumber, count + 1);
    }
  }
  EXPECT_GE(killed, 4 * kRevisions) << "too few write instants were reached";
}

}  // namespace
}  // namespace pellmor
