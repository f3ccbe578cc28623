// UTF-8, the encoding of every text the program keeps in memory: checking
// that bytes are well-formed, decoding them into code points and encoding
// code points.
//
// Well-formed means as the Unicode standard defines it: no overlong forms,
// no surrogates, nothing above U+10FFFF, no stray continuation bytes.
#pragma once

#include <cstddef>
#include <string>

namespace pellmor {

// The length (1 to 4) of the well-formed sequence starting at text[i], or 0
// when the bytes from there are not one.
size_t Utf8SequenceLength(const std::string& text, size_t i);

// Whether the whole of text is well-formed UTF-8.
bool IsWellFormedUtf8(const std::string& text);

// text with each byte that starts no well-formed sequence replaced by U+FFFD;
// well-formed text comes back as it is.
std::string ToWellFormedUtf8(const std::string& text);

// The code points of text, or false (out then unspecified) when text is not
// well-formed.
bool DecodeUtf8(const std::string& text, std::u32string& out);

// Appends the UTF-8 form of a code point (at most U+10FFFF, no surrogate).
void AppendUtf8(std::string& text, char32_t code);

}  // namespace pellmor
