#include "foundation/Exception.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace pellmor {

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(length));
  }
  va_end(args);
  return text;
}

TErrorKind SystemErrorKind(int error) {
  return error == ENOENT || error == ENOTDIR ? ekNotFound : ekInputOutput;
}

void ThrowSystemError(const char* what, const std::string& path, int error) {
  throw Exception(Format("%s \"%s\". %s", what, path.c_str(), std::strerror(error)),
                  SystemErrorKind(error));
}

void ThrowNoFollowError(const char* what, const std::string& path, int error) {
  if (error == ELOOP) ThrowSystemError(what, path, "It is a symbolic link");
  ThrowSystemError(what, path, error);
}

void ThrowSystemError(const char* what, const std::string& path, const char* reason) {
  throw Exception(Format("%s \"%s\". %s", what, path.c_str(), reason), ekInputOutput);
}

}  // namespace pellmor
