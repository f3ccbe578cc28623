// The program's one error class and the printf-style formatting its messages use.
//
// Every failure the store, the scan and the change loader report is an
// Exception whose message is the system's own text, built with Format().
// Errors are caught only at the edges: the window's command handlers and the
// quarv tool's main().
#pragma once

#include <stdexcept>
#include <string>

namespace pellmor {

// Returns the text of a printf-style format ("%s", "%d", ...) filled with args.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace pellmor
