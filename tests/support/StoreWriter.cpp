#include "tests/support/StoreWriter.h"

#include "foundation/DateTime.h"
#include "foundation/Platform.h"
#include "store/uQuarvEngine.h"

namespace pellmor::test {

namespace {

void Fill(TMyFile& entry, const SampleFile& file) {
  entry.Content.Assign(file.Bytes.data(), file.Bytes.size());
  entry.Attributes = file.Attributes;
  entry.LastWriteTime = file.LastWriteTime;
  entry.CreationTime = file.LastWriteTime;
  entry.LastAccessTime = file.LastAccessTime;
}

}  // namespace

int StoreWriter::Record(const SampleChanges& changes, const std::string& message, uint64_t date,
                        const std::string& author, const std::string& email) {
  TQuarv_Engine engine(folder_);
  engine.Load();
  const TMyContaner* newest = engine.FileSystem->Containers.Last();
  SampleTree tree = trees_.empty() ? SampleTree{} : trees_.back();
  TMyFileList& index = engine.Index->Files;
  for (const auto& [name, file] : changes.Written) {
    TMyFile* entry = index.FindOrAdd(name);
    Fill(*entry, file);
    const bool known = newest != nullptr && newest->Files.FindByName(name) != nullptr &&
                       !newest->Files.FindByName(name)->Deleted;
    entry->ChangeKind = known ? ckModified : ckAdded;
    tree[name] = file;
  }
  for (const std::string& name : changes.Deleted) {
    index.FindOrAdd(name)->Deleted = true;
    tree.erase(name);
  }
  for (const auto& [oldName, newName] : changes.Renamed) {
    TMyFile* added = index.FindOrAdd(newName);
    Fill(*added, tree.at(oldName));
    added->IsLink = true;
    added->LinkName = oldName;
    TMyFile* removed = index.FindOrAdd(oldName);
    removed->IsLink = true;
    removed->Deleted = true;
    removed->LinkName = newName;
    engine.Renames.Add(oldName, newName);
    tree[newName] = tree.at(oldName);
    tree.erase(oldName);
  }
  const int number = engine.FileSystem->NextFreeNumber();
  engine.CommitUtc(message, author, date, email);
  trees_.push_back(tree);
  return number;
}

std::string PatternBytes(size_t n) {
  std::string bytes;
  for (size_t i = 0; i < n; ++i) bytes += static_cast<char>((i * 7) % 251);
  return bytes;
}

void RecordSampleHistory(StoreWriter& writer) {
  const SampleFile script{"#!/bin/sh\necho hi\n", kAttrArchive,
                          UnixTimeToFileTime(1500000000, 250000000)};
  writer.Record({.Written = {{"a.txt", {"alpha\n"}},
                             {"data.bin", {PatternBytes(300)}},
                             {"run.sh", script},
                             {"link", {"a.txt", kAttrReparsePoint}},
                             {"sub\\b.txt", {"bee\n"}}}},
                "first\r\n\r\nsecond line\r\n", UnixTimeToFileTime(1700000000, 0));
  writer.Record({.Written = {{"a.txt", {"alpha two\n"}}}, .Deleted = {"sub\\b.txt"}},
                "edit and delete", UnixTimeToFileTime(1700003600, 0), "Bo", "bo@example.com");
  writer.Record({.Written = {{"c.txt", {"sea\n"}}}, .Renamed = {{"run.sh", "tools\\run.sh"}}},
                "add and rename", UnixTimeToFileTime(1700007200, 0));
}

}  // namespace pellmor::test
