#include "cli/LogCommand.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <memory>

#include "cli/IsoDate.h"
#include "cli/JsonWriter.h"
#include "cli/ReadingArguments.h"
#include "foundation/ShownText.h"
#include "foundation/TextLines.h"
#include "store/ChangeCounts.h"
#include "store/CommitRecord.h"
#include "store/QuarvReader.h"
#include "store/uMyFS.h"

namespace pellmor {

namespace {

// The message's lines (CR LF, LF or CR end a line), trailing empty lines left out.
std::vector<std::string> MessageLines(const std::string& message) {
  std::vector<std::string> lines = SplitLines(message);
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

// commit: the id of the commit the revision was recorded from, or "".
void WriteText(const TMyContaner& revision, const std::string& commit, const TChangeCounts& counts,
               std::ostream& out) {
  out << "revision " << revision.Number << '\n';
  if (!commit.empty()) out << "Commit:  " << commit << '\n';
  out << "Date:    " << IsoLocalDate(revision.Date) << '\n'
      << "Author:  " << QuoteName(revision.Author) << " <" << QuoteName(revision.Email) << ">\n"
      << "Changes: " << counts.Added << " added, " << counts.Modified << " modified, "
      << counts.Deleted << " deleted, " << counts.Renamed << " renamed\n\n";
  for (const std::string& line : MessageLines(revision.Comment))
    out << (line.empty() ? "" : "    ") << EscapeControls(line) << '\n';
  out << '\n';
}

void WriteJson(const TMyContaner& revision, const std::string& commit, const TChangeCounts& counts,
               TJsonWriter& json) {
  json.BeginObject();
  json.NumberMember("revision", revision.Number);
  json.Key("commit");
  if (commit.empty())
    json.Null();
  else
    json.String(commit);
  json.StringMember("date", IsoLocalDate(revision.Date));
  json.StringMember("author", revision.Author);
  json.StringMember("email", revision.Email);
  json.StringMember("message", revision.Comment);
  json.NumberMember("added", counts.Added);
  json.NumberMember("modified", counts.Modified);
  json.NumberMember("deleted", counts.Deleted);
  json.NumberMember("renamed", counts.Renamed);
  json.EndObject();
}

}  // namespace

void RegisterLogCommand(CLI::App& app) {
  auto options = std::make_shared<TLogOptions>();
  CLI::App* command = AddReadingCommand(
      app, "log",
      "List the revisions of the store in FOLDER, newest first: number, date, author, "
      "message and counts of added, modified, deleted and renamed files",
      options->Folder);
  command->add_flag("--reverse", options->Reverse, "Oldest revision first");
  command->add_flag("--json", options->Json, "Print a JSON array for scripts");
  command->callback([options] { RunLog(*options, std::cout); });
}

void RunLog(const TLogOptions& options, std::ostream& out) {
  const TQuarvReader reader(options.Folder);
  std::vector<int32_t> numbers = reader.SortedRevisions();
  if (!options.Reverse) std::reverse(numbers.begin(), numbers.end());

  const TCommitRecord record = TCommitRecord::Load(reader.Layout().CommitRecordFileName());
  TJsonWriter json(out);
  if (options.Json) json.BeginArray();
  for (const int32_t number : numbers) {
    const std::unique_ptr<TMyContaner> revision = reader.ReadRevision(number, lpRecords);
    const TChangeCounts counts = CountChanges(*revision);
    const TCommitRecordLine* line = record.FindRevision(number);
    const std::string commit = line != nullptr ? line->Commit : "";
    if (options.Json)
      WriteJson(*revision, commit, counts, json);
    else
      WriteText(*revision, commit, counts, out);
  }
  if (options.Json) {
    json.EndArray();
    json.Finish();
  }
}

}  // namespace pellmor
