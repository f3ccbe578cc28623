#include "foundation/ShownText.h"

namespace pellmor {

namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

void AppendOctal(std::string& out, unsigned char c) {
  out += '\\';
  out += static_cast<char>('0' + (c >> 6));
  out += static_cast<char>('0' + ((c >> 3) & 7));
  out += static_cast<char>('0' + (c & 7));
}

}  // namespace

std::string QuoteName(const std::string& name) {
  bool plain = name.empty() || name.front() != '"';
  for (const unsigned char c : name) plain = plain && !IsControl(c);
  if (plain) return name;
  std::string quoted = "\"";
  for (const unsigned char c : name) {
    switch (c) {
      case '"':
        quoted += "\\\"";
        break;
      case '\\':
        quoted += "\\\\";
        break;
      case '\a':
        quoted += "\\a";
        break;
      case '\b':
        quoted += "\\b";
        break;
      case '\t':
        quoted += "\\t";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\v':
        quoted += "\\v";
        break;
      case '\f':
        quoted += "\\f";
        break;
      case '\r':
        quoted += "\\r";
        break;
      default:
        if (IsControl(c))
          AppendOctal(quoted, c);
        else
          quoted += static_cast<char>(c);
    }
  }
  return quoted + '"';
}

std::string EscapeControls(const std::string& text) {
  std::string shown;
  shown.reserve(text.size());
  for (const unsigned char c : text) {
    if (IsControl(c) && c != '\t')
      AppendOctal(shown, c);
    else
      shown += static_cast<char>(c);
  }
  return shown;
}

}  // namespace pellmor
