// The program's one error class and the printf-style formatting its messages use.
//
// Every failure the store, the scan and the change loader report is an
// Exception whose message is the system's own text, built with Format().
// Errors are caught only at the edges: the window's command handlers and the
// quarv tool's main(). People read the message; a caller that must act on
// the failure asks its Kind().
#pragma once

#include <stdexcept>
#include <string>

namespace pellmor {

// Returns the text of a printf-style format ("%s", "%d", ...) filled with args.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// What kind of failure an Exception reports.
enum TErrorKind {
  ekGeneral,      // anything else: a refused request, a broken rule of the program
  ekNotFound,     // a file, folder, store, revision or entry that is not there
  ekInputOutput,  // the system failed to open, read, write, create, list or delete
  ekDamaged,      // bytes that are there but cannot be what they should be
};

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message, TErrorKind kind = ekGeneral)
      : std::runtime_error(message), kind_(kind) {}

  TErrorKind Kind() const { return kind_; }

 private:
  TErrorKind kind_;
};

// The kind of a failed system call's errno: ekNotFound for a name that is
// not there (ENOENT, ENOTDIR), ekInputOutput for every other reason.
TErrorKind SystemErrorKind(int error);

// Raises "<what> "<path>". <the system's reason for error>" of
// SystemErrorKind(error), e.g. "Cannot open file "/a/b". No such file or
// directory".
[[noreturn]] void ThrowSystemError(const char* what, const std::string& path, int error);
// The same for a call made with O_NOFOLLOW, where ELOOP means that a symbolic
// link stands at path: its reason then reads "It is a symbolic link".
[[noreturn]] void ThrowNoFollowError(const char* what, const std::string& path, int error);
// "<what> "<path>". <reason>" for a reason of the caller's (a file that is no
// regular file, say), of kind ekInputOutput.
[[noreturn]] void ThrowSystemError(const char* what, const std::string& path, const char* reason);

}  // namespace pellmor
