#include "store/uMyHistory.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

#include "foundation/Exception.h"
#include "foundation/TextLines.h"

namespace pellmor {

int32_t HistoryLineNumber(const std::string& line) {
  std::string::size_type end = line.size();
  const std::string::size_type dot = line.find_last_of(".\\:");
  if (dot != std::string::npos && line[dot] == '.') end = dot;
  const std::string number = line.substr(0, end);

  // Optional sign and decimal digits, nothing else; out of range is no number.
  size_t i = 0;
  if (i < number.size() && (number[i] == '+' || number[i] == '-')) ++i;
  if (i == number.size()) return -1;
  for (size_t j = i; j < number.size(); ++j)
    if (number[j] < '0' || number[j] > '9') return -1;
  errno = 0;
  const long long value = std::strtoll(number.c_str(), nullptr, 10);
  if (errno == ERANGE || value < std::numeric_limits<int32_t>::min() ||
      value > std::numeric_limits<int32_t>::max())
    return -1;
  return static_cast<int32_t>(value);
}

TMyHistoryItem* TMyHistoryData::Add(const std::string& fileName, int32_t revision) {
  if (revision < 1) throw Exception(Format("Invalid revision number %d", revision));
  return Items.Add(std::make_unique<TMyHistoryItem>(fileName, revision));
}

void TMyHistoryData::LoadFromFile(const std::string& path) { AddLines(ReadTextFile(path)); }

void TMyHistoryData::LoadFromStream(TStream& stream) { AddLines(ReadTextLines(stream)); }

void TMyHistoryData::AddLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    const int32_t revision = HistoryLineNumber(line);
    if (revision >= 0)
      Add(line, revision);
    else
      PassedOver.push_back(line);
  }
}

std::vector<std::string> TMyHistoryData::FileNames() const {
  std::vector<std::string> names;
  names.reserve(static_cast<size_t>(Items.Count()));
  for (const auto& item : Items) names.push_back(item->FileName);
  return names;
}

void TMyHistoryData::SaveToFile(const std::string& path) const { WriteTextFile(path, FileNames()); }

void TMyHistoryData::SaveToStream(TStream& stream) const { WriteTextLines(stream, FileNames()); }

}  // namespace pellmor
