// Names and texts from stored or foreign bytes as they are shown to a person,
// in a message or a line of output: whole (a NUL byte does not end them), on
// one line, and without bytes that a terminal would act on.
#pragma once

#include <string>

namespace pellmor {

// name unchanged when it holds no control byte (0x00-0x1F, 0x7F) and does not
// start with a double quote; otherwise in double quotes with C escapes, as Git
// quotes file names: \" and \\ for the quote and the backslash, \a \b \t \n
// \v \f \r, and \ooo (three octal digits) for the other control bytes. So no
// name can be mistaken for another, and each shows on one line.
std::string QuoteName(const std::string& name);

// Free text (a line of a revision message): every control byte but the tab
// as \ooo, everything else as it is.
std::string EscapeControls(const std::string& text);

}  // namespace pellmor
