#include "store/StoreVerifier.h"

#include <algorithm>
#include <memory>
#include <unordered_set>
#include <vector>

#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "store/CheckoutNames.h"
#include "store/QuarvReader.h"
#include "store/uMyFS.h"
#include "store/uMyHistory.h"

namespace pellmor {

TStoreVerifier::TStoreVerifier(const TQuarvReader& reader, TProblemSink sink)
    : reader_(reader), sink_(std::move(sink)) {}

void TStoreVerifier::Report(const std::string& file, const std::string& text) {
  ++problems_;
  sink_(file, text);
}

int TStoreVerifier::Run(const TRevisionHook& hook) {
  CheckHistory();
  std::vector<int32_t> numbers = reader_.Revisions();
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());

  int read = 0;
  for (size_t i = 0; i < numbers.size(); ++i) {
    const std::string path = reader_.ContainerFileName(numbers[i]);
    if (!FileExists(path)) {
      Report(path, Format("the container of revision %d is missing", numbers[i]));
      continue;
    }
    std::unique_ptr<TMyContaner> revision;
    try {
      revision = reader_.ReadRevision(numbers[i], lpEverything);
    } catch (const Exception& e) {
      Report(path, e.what());
      continue;
    }
    ++read;
    CheckRevision(*revision, i > 0 ? numbers[i - 1] : 0,
                  i + 1 < numbers.size() ? numbers[i + 1] : 0);
    if (hook) hook(*revision);
  }
  CheckUnlisted();
  CheckIndex();
  return read;
}

void TStoreVerifier::CheckUnlisted() {
  const std::string folder = reader_.Layout().ObjectsFolder();
  std::vector<TFolderEntry> entries;
  if (!ListFolder(folder, entries)) return;
  for (const TFolderEntry& entry : entries) {
    const int32_t number = HistoryLineNumber(entry.Name);
    if (entry.Info.Type != EntryType::File || number < 1 ||
        entry.Name != TStoreLayout::ContainerLeafName(number) || reader_.HasRevision(number))
      continue;
    Report(folder + entry.Name,
           "History.txt does not list this revision: the history lost it, or its recording was "
           "cut short");
  }
}

void TStoreVerifier::CheckHistory() {
  const std::string file = reader_.HistoryFileName();
  int32_t expected = 1;
  for (const TMyHistoryItem& item : reader_.HistoryItems()) {
    const int32_t number = item.Revision;
    if (item.FileName != TStoreLayout::ContainerLeafName(number))
      Report(file, Format("the line '%s' should read '%d.dat'", item.FileName.c_str(), number));
    if (number > expected)
      Report(file, number == expected + 1
                       ? Format("it skips revision %d", expected)
                       : Format("it skips revisions %d to %d", expected, number - 1));
    else if (number < expected)
      Report(file, Format("it lists revision %d again, or out of order, after revision %d", number,
                          expected - 1));
    expected = std::max(expected, number + 1);
  }
}

void TStoreVerifier::CheckRevision(TMyContaner& revision, int32_t previous, int32_t next) {
  const int32_t number = revision.Number;
  const std::string path = reader_.ContainerFileName(number);
  if (revision.PreviousNumber != previous)
    Report(path, Format("its PreviousNumber is %d where the history makes it %d",
                        revision.PreviousNumber, previous));
  if (revision.NextNumber != next)
    Report(path,
           Format("its NextNumber is %d where the history makes it %d", revision.NextNumber, next));

  auto& held = held_[number];
  std::unordered_set<std::string> names;
  // Entries whose bytes live in a revision that could not be read, by that revision.
  std::map<int32_t, int> unreadableHolders;
  std::vector<const TMyFile*> live;
  for (const auto& entry : revision.Files) {
    const std::string& name = entry->Name();
    if (!names.insert(entry->UpperName()).second)
      Report(path, Format("the name '%s' occurs twice", name.c_str()));
    if (!entry->Deleted) live.push_back(entry.get());
    const int32_t holder = entry->DataRevision;
    if (holder < 1 || holder > number) {
      Report(path,
             Format("'%s' names revision %d as the holder of its bytes", name.c_str(), holder));
      continue;
    }
    if (holder == number) {
      TContentDigest digest;
      ContentDigest(entry->Content, digest);
      if (!DigestsEqual(digest, entry->Hash))
        Report(path, Format("the bytes of '%s' do not match its digest", name.c_str()));
      held.emplace(entry->UpperName(), digest);
      continue;
    }
    if (!reader_.HasRevision(holder)) {
      Report(path, Format("the bytes of '%s' are nowhere: revision %d, which should hold them, is "
                          "not in the history",
                          name.c_str(), holder));
      continue;
    }
    const auto holderFiles = held_.find(holder);
    if (holderFiles == held_.end()) {
      ++unreadableHolders[holder];
      continue;
    }
    const auto stored = holderFiles->second.find(entry->UpperName());
    if (stored == holderFiles->second.end())
      Report(path, Format("the bytes of '%s' are nowhere: revision %d holds none under that name",
                          name.c_str(), holder));
    else if (!DigestsEqual(stored->second, entry->Hash))
      Report(path, Format("the digest of '%s' differs from that of its bytes in revision %d",
                          name.c_str(), holder));
  }
  for (const auto& [holder, count] : unreadableHolders)
    Report(path, Format("the bytes of %d files are in revision %d, which could not be read", count,
                        holder));
  for (const TNameProblem& problem : FindUnsafeNames(live))
    if (!problem.Duplicate)
      Report(path, Format("'%s' cannot be checked out: %s", problem.Name.c_str(),
                          problem.Reason.c_str()));
}

void TStoreVerifier::CheckIndex() {
  const std::string path = reader_.Layout().IndexFileName();
  if (!FileExists(path)) return;
  TMyContaner index;
  try {
    index.LoadFromFile(path, lpEverything);
  } catch (const Exception& e) {
    Report(path, e.what());
  }
}

}  // namespace pellmor
