#include "cli/LsCommand.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iomanip>
#include <iostream>
#include <memory>

#include "cli/JsonWriter.h"
#include "cli/ReadingArguments.h"
#include "foundation/Platform.h"
#include "foundation/ShownText.h"
#include "store/QuarvReader.h"
#include "store/uMyFS.h"

namespace pellmor {

namespace {

bool IsSymlink(const TMyFile& entry) { return (entry.Attributes & kAttrReparsePoint) != 0; }
bool IsExecutable(const TMyFile& entry) {
  return !IsSymlink(entry) && (entry.Attributes & kAttrArchive) != 0;
}

// d deleted, r one side of a rename, l symbolic link, x executable,
// z stored compressed; "-" for none.
std::string Flags(const TMyFile& entry, const TQuarvReader::TStoredSize& size) {
  std::string flags;
  if (entry.Deleted) flags += 'd';
  if (entry.IsLink) flags += 'r';
  if (IsSymlink(entry)) flags += 'l';
  if (IsExecutable(entry)) flags += 'x';
  if (size.Compressed) flags += 'z';
  return flags.empty() ? "-" : flags;
}

void WriteText(const std::vector<TMyFile*>& entries,
               const std::vector<TQuarvReader::TStoredSize>& sizes, std::ostream& out) {
  // Names as QuoteName shows them: one line each, control bytes escaped.
  std::vector<std::string> names;
  size_t nameWidth = 0;
  for (const TMyFile* entry : entries) {
    names.push_back(QuoteName(entry->Name()));
    nameWidth = std::max(nameWidth, names.back().size());
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    const TMyFile& entry = *entries[i];
    out << std::left << std::setw(static_cast<int>(nameWidth)) << names[i] << "  " << std::right
        << std::setw(10) << sizes[i].Size << "  " << std::left << std::setw(9)
        << ChangeKindText(entry.ChangeKind) << "  v" << entry.Version << "  r" << entry.DataRevision
        << "  " << Flags(entry, sizes[i]);
    if (entry.IsLink)
      out << (entry.Deleted ? "  renamed to " : "  renamed from ") << QuoteName(entry.LinkName);
    out << '\n';
  }
}

void WriteJson(const std::vector<TMyFile*>& entries,
               const std::vector<TQuarvReader::TStoredSize>& sizes, std::ostream& out) {
  TJsonWriter json(out);
  json.BeginArray();
  for (size_t i = 0; i < entries.size(); ++i) {
    const TMyFile& entry = *entries[i];
    json.BeginObject();
    json.StringMember("name", entry.Name());
    json.NumberMember("stored_size", sizes[i].Size);
    json.BoolMember("compressed", sizes[i].Compressed);
    json.StringMember("change_kind", ChangeKindText(entry.ChangeKind));
    json.NumberMember("version", entry.Version);
    json.NumberMember("data_revision", entry.DataRevision);
    json.BoolMember("deleted", entry.Deleted);
    json.BoolMember("symbolic_link", IsSymlink(entry));
    json.BoolMember("executable", IsExecutable(entry));
    json.NumberMember("attributes", entry.Attributes);
    json.Key("renamed_from");
    if (entry.IsLink && !entry.Deleted)
      json.String(entry.LinkName);
    else
      json.Null();
    json.Key("renamed_to");
    if (entry.IsLink && entry.Deleted)
      json.String(entry.LinkName);
    else
      json.Null();
    json.EndObject();
  }
  json.EndArray();
  json.Finish();
}

}  // namespace

std::string ChangeKindText(uint8_t kind) {
  switch (kind) {
    case ckNone:
      return "none";
    case ckModified:
      return "modified";
    case ckAdded:
      return "added";
    case ckUnchanged:
      return "unchanged";
    default:
      return "kind " + std::to_string(kind);
  }
}

void RegisterLsCommand(CLI::App& app) {
  auto options = std::make_shared<TLsOptions>();
  CLI::App* command = AddReadingCommand(
      app, "ls",
      "List the files of revision REV (default: the newest) of the store in FOLDER: name, "
      "stored size, change kind, version (v), data revision (r) and flags (d deleted, "
      "r renamed, l symbolic link, x executable, z compressed)",
      options->Folder);
  AddRevisionArgument(*command, options->Revision);
  command->add_flag("--all", options->All, "Include deleted entries");
  command->add_flag("--json", options->Json, "Print a JSON array for scripts");
  command->callback([options] { RunLs(*options, std::cout); });
}

void RunLs(const TLsOptions& options, std::ostream& out) {
  const TQuarvReader reader(options.Folder);
  const int32_t number = options.Revision != 0 ? options.Revision : reader.Newest();
  const std::unique_ptr<TMyContaner> revision = reader.ReadRevision(number, lpRecords);
  std::vector<TMyFile*> entries;
  for (const auto& entry : revision->Files)
    if (options.All || !entry->Deleted) entries.push_back(entry.get());
  const std::vector<TQuarvReader::TStoredSize> sizes = reader.ReadStoredSizes(*revision, entries);
  if (options.Json)
    WriteJson(entries, sizes, out);
  else
    WriteText(entries, sizes, out);
}

}  // namespace pellmor
