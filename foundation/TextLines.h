// Text as lines, the way the program reads and writes every text file (the
// store's History.txt, Rename.txt and Ignore.txt, Git's exclude file): 8-bit
// text, lines written with CR LF and read with CR LF, LF or CR as the line end.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "foundation/Streams.h"

namespace pellmor {

// The lines of a text: a line ends at CR LF, a lone CR or a lone LF (not
// part of the line). A last line without a line end still counts; a line end
// at the very end adds no empty line. Bytes are kept as they are (a NUL is an
// ordinary character).
std::vector<std::string> SplitLines(std::string_view text);

// The lines of the whole stream, read from position 0 (SplitLines).
std::vector<std::string> ReadTextLines(TStream& stream);

// Each line followed by CR LF, the last one included.
std::string JoinTextLines(const std::vector<std::string>& lines);

// Writes JoinTextLines(lines).
void WriteTextLines(TStream& stream, const std::vector<std::string>& lines);

// The lines of a file. Raises the file layer's open or read error.
std::vector<std::string> ReadTextFile(const std::string& path);

// Replaces a file by these lines in one atomic step (WriteFileAtomically).
void WriteTextFile(const std::string& path, const std::vector<std::string>& lines);

}  // namespace pellmor
