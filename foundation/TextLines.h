// The line format of the store's text files (History.txt, Rename.txt,
// Ignore.txt): 8-bit text, lines written with CR LF and read with CR LF, LF
// or CR as the line end.
#pragma once

#include <string>
#include <vector>

#include "foundation/Streams.h"

namespace pellmor {

// The lines of the whole stream, read from position 0. A last line without a
// line end still counts; a line end at the very end adds no empty line. Bytes
// are kept as they are (a NUL is an ordinary character).
std::vector<std::string> ReadTextLines(TStream& stream);

// Writes each line followed by CR LF, the last one included.
void WriteTextLines(TStream& stream, const std::vector<std::string>& lines);

// The lines of a file. Raises the file layer's open or read error.
std::vector<std::string> ReadTextFile(const std::string& path);

// Replaces a file by these lines in one atomic step (WriteFileAtomically).
void WriteTextFile(const std::string& path, const std::vector<std::string>& lines);

}  // namespace pellmor
