#include "foundation/TextLines.h"

#include "foundation/Platform.h"

namespace pellmor {

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    lines.emplace_back(text.substr(start, end - start));
    if (end < text.size()) {
      // CR LF is one line end; a lone CR or LF is one too.
      if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
      ++end;
    }
    start = end;
  }
  return lines;
}

std::vector<std::string> ReadTextLines(TStream& stream) {
  stream.SetPosition(0);
  std::string text(static_cast<size_t>(stream.Size()), '\0');
  stream.ReadBuffer(text.data(), text.size());
  return SplitLines(text);
}

std::string JoinTextLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void WriteTextLines(TStream& stream, const std::vector<std::string>& lines) {
  const std::string text = JoinTextLines(lines);
  stream.WriteBuffer(text.data(), text.size());
}

std::vector<std::string> ReadTextFile(const std::string& path) {
  TFileStream file(path, TFileStream::Mode::OpenRead);
  return ReadTextLines(file);
}

void WriteTextFile(const std::string& path, const std::vector<std::string>& lines) {
  WriteFileAtomically(path, [&](TStream& file) { WriteTextLines(file, lines); });
}

}  // namespace pellmor
