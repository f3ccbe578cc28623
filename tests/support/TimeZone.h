// Sets the process's time zone for the length of a scope, for tests of local
// times; the zone in force before (or its absence) comes back at the end.
#pragma once

#include <optional>
#include <string>

namespace pellmor::test {

class ScopedTimeZone {
 public:
  // tz: a TZ value, e.g. "UTC0" or "CET-1CEST,M3.5.0,M10.5.0/3".
  explicit ScopedTimeZone(const char* tz);
  ~ScopedTimeZone();
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

  // Switches to another zone within the same scope.
  void Set(const char* tz);

 private:
  std::optional<std::string> saved_;
};

}  // namespace pellmor::test
