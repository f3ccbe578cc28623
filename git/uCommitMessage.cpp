#include "git/uCommitMessage.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

#include "foundation/Utf8.h"

namespace pellmor {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F. The five bytes that
// it leaves undefined map to the C1 controls of the same value, as Windows
// itself decodes them, so that every byte yields a character.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string DecodeWindows1252(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (unsigned char byte : bytes)
    AppendUtf8(text, (byte >= 0x80 && byte < 0xA0) ? kCp1252High[byte - 0x80] : byte);
  return text;
}

// iconv from the named encoding to UTF-8; false when the encoding is unknown
// or the bytes are not valid in it.
bool DecodeWithIconv(const std::string& bytes, const char* encoding, std::string& text) {
  iconv_t converter = ::iconv_open("UTF-8", encoding);
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  std::string out(bytes.size() * 4 + 16, '\0');
  char* in_ptr = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  char* out_ptr = out.data();
  size_t out_left = out.size();
  bool ok = true;
  while (in_left > 0) {
    if (::iconv(converter, &in_ptr, &in_left, &out_ptr, &out_left) != static_cast<size_t>(-1))
      continue;
    if (errno != E2BIG) {
      ok = false;
      break;
    }
    const size_t used = out.size() - out_left;
    out.resize(out.size() * 2);
    out_ptr = out.data() + used;
    out_left = out.size() - used;
  }
  ::iconv_close(converter);
  if (!ok) return false;
  out.resize(out.size() - out_left);
  text.swap(out);
  return true;
}

}  // namespace

std::string DecodeCommitMessage(const std::string& bytes, const char* encoding) {
  if (IsWellFormedUtf8(bytes)) return bytes;
  std::string text;
  // iconv's UTF-8 passes some sequences that are not (code points past
  // U+10FFFF): what it gives is used only when it is well-formed.
  if (encoding != nullptr && *encoding != '\0' && DecodeWithIconv(bytes, encoding, text) &&
      !text.empty() && IsWellFormedUtf8(text))
    return text;
  return DecodeWindows1252(bytes);
}

}  // namespace pellmor
