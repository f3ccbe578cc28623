// Turns a commit message's bytes into UTF-8 text without losing any of it.
//
// Git stores a message as bytes; most are UTF-8, some carry an "encoding"
// header naming their legacy code page, and some are neither. Well-formed
// UTF-8 is kept as it is; anything else is decoded with the named encoding,
// or as Windows-1252 when none is named or the named one does not decode it.
#pragma once

#include <string>

namespace pellmor {

// The message as UTF-8. encoding is the commit's encoding header, or null.
// A non-empty message never decodes to empty text.
std::string DecodeCommitMessage(const std::string& bytes, const char* encoding);

}  // namespace pellmor
