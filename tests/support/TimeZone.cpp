#include "tests/support/TimeZone.h"

#include <stdlib.h>
#include <time.h>

namespace pellmor::test {

ScopedTimeZone::ScopedTimeZone(const char* tz) {
  if (const char* current = getenv("TZ")) saved_ = current;
  Set(tz);
}

ScopedTimeZone::~ScopedTimeZone() {
  if (saved_)
    setenv("TZ", saved_->c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

void ScopedTimeZone::Set(const char* tz) {
  setenv("TZ", tz, 1);
  tzset();
}

}  // namespace pellmor::test
