#include "git/uCommitMessage.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace pellmor {

namespace {

void AppendUtf8(std::string& text, uint32_t code) {
  if (code < 0x80) {
    text += static_cast<char>(code);
  } else if (code < 0x800) {
    text += static_cast<char>(0xC0 | (code >> 6));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    text += static_cast<char>(0xE0 | (code >> 12));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
}

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

bool IsWellFormedUtf8(const std::string& bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  while (p < end) {
    const unsigned char lead = *p;
    if (lead < 0x80) {
      ++p;
      continue;
    }
    int length;
    uint32_t code;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07;
    } else {
      return false;  // a continuation byte, an overlong lead (C0, C1) or beyond F4
    }
    if (end - p < length) return false;
    for (int i = 1; i < length; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      code = (code << 6) | (p[i] & 0x3F);
    }
    if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000)) return false;
    if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return false;
    p += length;
  }
  return true;
}

std::string DecodeCommitMessage(const std::string& bytes, const char* encoding) {
  if (IsWellFormedUtf8(bytes)) return bytes;
  std::string text;
  if (encoding != nullptr && *encoding != '\0' && DecodeWithIconv(bytes, encoding, text) &&
      !text.empty())
    return text;
  return DecodeWindows1252(bytes);
}

}  // namespace pellmor
