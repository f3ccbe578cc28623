#include "store/QuarvReader.h"

#include <algorithm>
#include <map>
#include <unordered_map>

#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "foundation/ShownText.h"
#include "foundation/uMyHash.h"
#include "foundation/uMyStreamUtils.h"

namespace pellmor {

namespace {

[[noreturn]] void ThrowNowhere(const TMyFile& entry, const TMyContaner& revision,
                               const std::string& reason) {
  throw Exception(Format("The bytes of '%s' in revision %d are nowhere: %s",
                         QuoteName(entry.Name()).c_str(), revision.Number, reason.c_str()),
                  ekDamaged);
}

}  // namespace

TQuarvReader::TQuarvReader(const std::string& folder) : layout_(folder), files_(layout_.Root()) {
  if (!DirectoryExists(layout_.Folder()))
    throw Exception(Format("No Quarv store in '%s'", RootPath().c_str()), ekNotFound);
  const std::string history = HistoryFileName();
  if (!FileExists(history)) return;
  TMyHistoryData items;
  try {
    items.LoadFromFile(history);
  } catch (const Exception& e) {
    throw Exception(Format("Cannot read the history '%s': %s", history.c_str(), e.what()),
                    e.Kind());
  }
  for (const auto& item : items.Items) {
    history_.push_back(*item);
    revisions_.push_back(item->Revision);
  }
  passedOver_ = std::move(items.PassedOver);
}

std::vector<int32_t> TQuarvReader::SortedRevisions() const {
  std::vector<int32_t> numbers = revisions_;
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  return numbers;
}

bool TQuarvReader::HasRevision(int32_t number) const {
  return std::find(revisions_.begin(), revisions_.end(), number) != revisions_.end();
}

int32_t TQuarvReader::Newest() const {
  if (revisions_.empty())
    throw Exception(Format("The store in '%s' holds no revision", RootPath().c_str()), ekNotFound);
  return *std::max_element(revisions_.begin(), revisions_.end());
}

std::unique_ptr<TMyContaner> TQuarvReader::ReadRevision(int32_t number, TLoadParts parts) const {
  if (!HasRevision(number))
    throw Exception(
        Format("Revision %d does not exist in the store '%s'", number, RootPath().c_str()),
        ekNotFound);
  const std::string path = ContainerFileName(number);
  auto container = std::make_unique<TMyContaner>();
  container->LoadFromFile(path, parts);
  if (container->FormatVersion < 1)
    ThrowDamagedContainer(
        path, Format("its format version %d holds no revision", container->FormatVersion));
  if (container->Number != number)
    ThrowDamagedContainer(
        path, Format("it holds revision %d where %d was expected", container->Number, number));
  return container;
}

void TQuarvReader::VisitHolders(TMyContaner& revision, const std::vector<TMyFile*>& entries,
                                const THolderVisit& visit) const {
  std::map<int32_t, std::vector<TMyFile*>> byHolder;
  for (TMyFile* entry : entries) {
    if (entry->DataRevision < 1 || entry->DataRevision > revision.Number)
      ThrowNowhere(*entry, revision,
                   Format("its record names revision %d as their holder", entry->DataRevision));
    byHolder[entry->DataRevision].push_back(entry);
  }
  for (const auto& [number, wanted] : byHolder) {
    std::unique_ptr<TMyContaner> records;
    TMyContaner* holder = &revision;
    if (number != revision.Number) {
      if (!HasRevision(number))
        ThrowNowhere(*wanted.front(), revision,
                     Format("revision %d, which should hold them, is not in the history", number));
      records = ReadRevision(number, lpRecords);
      holder = records.get();
    }
    const std::string path = ContainerFileName(number);
    std::vector<THeldEntry> held;
    std::unordered_map<const TMyFile*, size_t> position;
    for (TMyFile* entry : wanted) {
      TMyFile* stored = holder == &revision ? entry : holder->Files.FindByName(entry->Name());
      if (stored == nullptr || stored->DataRevision != number)
        ThrowNowhere(*entry, revision,
                     Format("container '%s' holds no bytes under that name", path.c_str()));
      const auto [it, added] = position.emplace(stored, held.size());
      if (added) held.push_back({stored, {}});
      held[it->second].Askers.push_back(entry);
    }
    visit(*holder, path, held);
  }
}

void TQuarvReader::StreamContents(
    TMyContaner& revision, const std::vector<TMyFile*>& entries,
    const std::function<TByteSink(const TMyFile&)>& begin,
    const std::function<void(const TMyFile&, bool matches)>& end) const {
  VisitHolders(
      revision, entries,
      [&](TMyContaner& holder, const std::string& path, std::vector<THeldEntry>& held) {
        std::unordered_map<const TMyFile*, const THeldEntry*> askersOf;
        std::vector<TMyFile*> stored;
        for (const THeldEntry& item : held) {
          askersOf[item.Stored] = &item;
          stored.push_back(item.Stored);
        }
        // The bytes of one stored entry, hashed once and handed to the sinks of
        // all the entries that ask for them.
        TContentHasher hasher;
        std::vector<TByteSink> sinks;
        holder.StreamContentsFromFile(
            path, stored,
            [&](TMyFile& source) {
              hasher = TContentHasher();
              sinks.clear();
              for (const TMyFile* entry : askersOf[&source]->Askers) sinks.push_back(begin(*entry));
              return [&](const uint8_t* bytes, size_t count) {
                hasher.Update(bytes, count);
                for (const TByteSink& sink : sinks)
                  if (sink) sink(bytes, count);
              };
            },
            [&](TMyFile& source) {
              TContentDigest digest;
              hasher.Finish(digest);
              for (const TMyFile* entry : askersOf[&source]->Askers) {
                const bool matches = DigestsEqual(digest, entry->Hash);
                end(*entry, matches);
                if (!matches)
                  throw Exception(
                      Format("The bytes of '%s' in revision %d do not match its "
                             "digest (container '%s')",
                             QuoteName(entry->Name()).c_str(), revision.Number, path.c_str()),
                      ekDamaged);
              }
            });
      });
}

std::vector<TQuarvReader::TStoredSize> TQuarvReader::ReadStoredSizes(
    TMyContaner& revision, const std::vector<TMyFile*>& entries) const {
  std::unordered_map<const TMyFile*, TStoredSize> sizes;
  VisitHolders(revision, entries,
               [&](TMyContaner&, const std::string& path, std::vector<THeldEntry>& held) {
                 TFileStream file(path, TFileStream::Mode::OpenRead);
                 for (const THeldEntry& item : held) {
                   TStoredSize size;
                   size.Compressed = item.Stored->Compressed;
                   try {
                     // The records were checked to start every block inside the file.
                     file.SetPosition(item.Stored->ContentOffset);
                     size.Size = std::max<int32_t>(ReadInt32(file), 0);
                   } catch (const Exception& e) {
                     RaiseContainerReadFailure(path, e);
                   }
                   for (const TMyFile* entry : item.Askers) sizes[entry] = size;
                 }
               });
  std::vector<TStoredSize> result;
  for (const TMyFile* entry : entries) result.push_back(sizes[entry]);
  return result;
}

}  // namespace pellmor
