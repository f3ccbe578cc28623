#include "store/StoreVerifier.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <vector>

#include "foundation/AsciiText.h"
#include "foundation/ConfinedFolder.h"
#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "foundation/ShownText.h"
#include "foundation/uMyStreamUtils.h"
#include "store/CheckoutNames.h"
#include "store/CommitRecord.h"
#include "store/QuarvReader.h"
#include "store/uMyFS.h"
#include "store/uMyHistory.h"

namespace pellmor {

namespace {

// History.txt lines that name no revision, reported one by one; the rest counted.
constexpr size_t kLinesShown = 10;

}  // namespace

TStoreVerifier::TStoreVerifier(const TQuarvReader& reader, TProblemSink sink, TLoadParts parts)
    : reader_(reader), sink_(std::move(sink)), parts_(parts) {}

void TStoreVerifier::Report(const std::string& file, const std::string& text) {
  ++problems_;
  sink_(file, text);
}

int TStoreVerifier::Run(const TRevisionHook& hook) {
  CheckHistory();
  const std::vector<int32_t> numbers = reader_.SortedRevisions();

  int read = 0;
  for (size_t i = 0; i < numbers.size(); ++i) {
    const std::string path = reader_.ContainerFileName(numbers[i]);
    if (!FileExists(path)) {
      Report(path, Format("the container of revision %d is missing", numbers[i]));
      continue;
    }
    std::unique_ptr<TMyContaner> revision;
    std::unordered_map<const TMyFile*, THeldBytes> own;
    try {
      const bool whole = hook != nullptr && parts_ == lpEverything;
      revision = reader_.ReadRevision(numbers[i], whole ? lpEverything : lpRecords);
      if (parts_ == lpEverything) {
        own = ReadOwnBytes(*revision, whole);
      } else {
        // The structure alone: the digests the records give.
        for (const auto& entry : revision->Files)
          if (entry->DataRevision == revision->Number) own[entry.get()].Digest = entry->Hash;
      }
    } catch (const Exception& e) {
      Report(path, e.what());
      continue;
    }
    ++read;
    CheckRevision(*revision, own, i > 0 ? numbers[i - 1] : 0,
                  i + 1 < numbers.size() ? numbers[i + 1] : 0);
    if (hook) hook(*revision);
  }
  CheckUnlisted();
  CheckIndex();
  CheckCommitRecord();
  return read;
}

std::unordered_map<const TMyFile*, TStoreVerifier::THeldBytes> TStoreVerifier::ReadOwnBytes(
    TMyContaner& revision, bool wholeRead) const {
  std::vector<TMyFile*> entries;
  for (const auto& entry : revision.Files)
    if (entry->DataRevision == revision.Number) entries.push_back(entry.get());
  std::unordered_map<const TMyFile*, THeldBytes> own;
  TContentHasher hasher;
  bool holdsNul = false;
  const auto add = [&](const uint8_t* bytes, size_t count) {
    hasher.Update(bytes, count);
    holdsNul = holdsNul || (count != 0 && std::memchr(bytes, 0, count) != nullptr);
  };
  const auto begin = [&](const TMyFile&) -> TByteSink {
    hasher = TContentHasher();
    holdsNul = false;
    return add;
  };
  const auto end = [&](const TMyFile& entry) {
    THeldBytes& bytes = own[&entry];
    bytes.LinkFault = SymlinkTargetFault(static_cast<int64_t>(hasher.Size()), holdsNul);
    hasher.Finish(bytes.Digest);
  };
  if (wholeRead) {
    for (TMyFile* entry : entries) {
      begin(*entry);
      add(entry->Content.Memory(), static_cast<size_t>(entry->Content.Size()));
      end(*entry);
    }
  } else {
    revision.StreamContentsFromFile(reader_.ContainerFileName(revision.Number), entries, begin,
                                    end);
  }
  return own;
}

void TStoreVerifier::CheckUnlisted() {
  const std::string folder = reader_.Layout().ObjectsFolder();
  std::vector<TFolderEntry> entries;
  if (!ListFolder(folder, entries)) return;
  // An interrupted recording (of a batch of revisions, say) may have left
  // containers of the numbers after the newest listed one.
  const std::vector<int32_t>& listed = reader_.Revisions();
  const int64_t newest =
      listed.empty() ? 0 : int64_t{*std::max_element(listed.begin(), listed.end())};
  for (const TFolderEntry& entry : entries) {
    const int32_t number = HistoryLineNumber(entry.Name);
    if (entry.Info.Type != EntryType::File || number < 1 ||
        entry.Name != TStoreLayout::ContainerLeafName(number) || reader_.HasRevision(number) ||
        number > newest)
      continue;
    Report(folder + entry.Name,
           "History.txt does not list this revision: the history lost it, or its recording was "
           "cut short");
  }
}

void TStoreVerifier::CheckHistory() {
  const std::string file = reader_.HistoryFileName();
  // Readers pass over lines that name no revision; a store never writes one.
  const std::vector<std::string>& unnamed = reader_.PassedOverHistoryLines();
  for (size_t i = 0; i < unnamed.size() && i < kLinesShown; ++i)
    Report(file, Format("the line '%s' names no revision", QuoteName(unnamed[i]).c_str()));
  if (unnamed.size() > kLinesShown)
    Report(file, Format("%zu more lines name no revision", unnamed.size() - kLinesShown));
  int64_t expected = 1;  // one past the largest number so far: 2^31 after the largest revision
  for (const TMyHistoryItem& item : reader_.HistoryItems()) {
    const int32_t number = item.Revision;
    if (item.FileName != TStoreLayout::ContainerLeafName(number))
      Report(file, Format("the line '%s' should read '%d.dat'", QuoteName(item.FileName).c_str(),
                          number));
    if (number > expected)
      Report(file, number == expected + 1
                       ? Format("it skips revision %lld", static_cast<long long>(expected))
                       : Format("it skips revisions %lld to %d", static_cast<long long>(expected),
                                number - 1));
    else if (number < expected)
      Report(file, Format("it lists revision %d again, or out of order, after revision %lld",
                          number, static_cast<long long>(expected - 1)));
    expected = std::max<int64_t>(expected, int64_t{number} + 1);
  }
}

void TStoreVerifier::CheckRevision(TMyContaner& revision,
                                   const std::unordered_map<const TMyFile*, THeldBytes>& own,
                                   int32_t previous, int32_t next) {
  const int32_t number = revision.Number;
  const std::string path = reader_.ContainerFileName(number);
  if (revision.PreviousNumber != previous)
    Report(path, Format("its PreviousNumber is %d where the history makes it %d",
                        revision.PreviousNumber, previous));
  // The newest revision may name the one whose recording was interrupted.
  const bool interrupted = next == 0 && int64_t{revision.NextNumber} == int64_t{number} + 1;
  if (revision.NextNumber != next && !interrupted)
    Report(path,
           Format("its NextNumber is %d where the history makes it %d", revision.NextNumber, next));

  auto& held = held_[number];
  std::unordered_set<std::string> names;
  std::unordered_set<std::string> twice;
  // Entries whose bytes live in a revision that could not be read, by that revision.
  std::map<int32_t, int> unreadableHolders;
  std::vector<const TMyFile*> live;
  // The live symbolic links and the bytes that would be their targets.
  std::vector<std::pair<const TMyFile*, const THeldBytes*>> links;
  for (const auto& entry : revision.Files) {
    const std::string name = QuoteName(entry->Name());
    if (!names.insert(entry->UpperName()).second) {
      twice.insert(entry->UpperName());
      Report(path, Format("the name '%s' occurs twice", name.c_str()));
    }
    if (!entry->Deleted) live.push_back(entry.get());
    const bool link = !entry->Deleted && (entry->Attributes & kAttrReparsePoint) != 0;
    const int32_t holder = entry->DataRevision;
    if (holder < 1 || holder > number) {
      Report(path,
             Format("'%s' names revision %d as the holder of its bytes", name.c_str(), holder));
      continue;
    }
    if (holder == number) {
      const THeldBytes& bytes = own.at(entry.get());
      if (!DigestsEqual(bytes.Digest, entry->Hash))
        Report(path, Format("the bytes of '%s' do not match its digest", name.c_str()));
      const THeldBytes& kept = held.emplace(entry->UpperName(), bytes).first->second;
      if (link) links.emplace_back(entry.get(), &kept);
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
    if (stored == holderFiles->second.end()) {
      Report(path, Format("the bytes of '%s' are nowhere: revision %d holds none under that name",
                          name.c_str(), holder));
    } else if (!DigestsEqual(stored->second.Digest, entry->Hash)) {
      Report(path, Format("the digest of '%s' differs from that of its bytes in revision %d",
                          name.c_str(), holder));
    } else if (link) {
      links.emplace_back(entry.get(), &stored->second);
    }
  }
  for (const auto& [holder, count] : unreadableHolders)
    Report(path, Format("the bytes of %d files are in revision %d, which could not be read", count,
                        holder));
  // Checkout's own rules: the names it would refuse (a name twice only when
  // the names above did not already say so), and the link targets it could
  // not write.
  for (const TNameProblem& problem : FindUnsafeNames(live))
    if (!problem.Duplicate || !twice.count(UpperCaseAscii(problem.Name)))
      Report(path, Format("'%s' cannot be checked out: %s", QuoteName(problem.Name).c_str(),
                          problem.Reason.c_str()));
  for (const auto& [entry, bytes] : links)
    if (!bytes->LinkFault.empty())
      Report(path, Format("'%s' cannot be checked out: %s", QuoteName(entry->Name()).c_str(),
                          bytes->LinkFault.c_str()));
}

void TStoreVerifier::CheckIndex() {
  const std::string path = reader_.Layout().IndexFileName();
  if (!FileExists(path)) return;
  TMyContaner index;
  try {
    index.LoadFromFile(path, parts_);
  } catch (const Exception& e) {
    Report(path, e.what());
  }
}

void TStoreVerifier::CheckCommitRecord() {
  const std::string path = reader_.Layout().CommitRecordFileName();
  try {
    for (const std::string& problem : TCommitRecord::Load(path).Problems(reader_.Revisions()))
      Report(path, problem);
  } catch (const Exception& e) {
    Report(path, e.what());
  }
}

}  // namespace pellmor
