#include "cli/IsoDate.h"

#include <cstdio>
#include <cstdlib>

#include "foundation/DateTime.h"
#include "foundation/Platform.h"

namespace pellmor {

std::string IsoLocalDate(uint64_t fileTime) {
  TLocalTime local;
  if (!LocalTimeAt(FileTimeToUnixTime(fileTime).Seconds, local) || local.Year < 1 ||
      local.Year > 9999)
    return "(invalid date)";
  const long offset = static_cast<long>(local.UtcOffset / 60);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld",
                static_cast<int>(local.Year), local.Month, local.Day, local.Hour, local.Minute,
                local.Second, offset < 0 ? '-' : '+', std::labs(offset) / 60,
                std::labs(offset) % 60);
  return text;
}

}  // namespace pellmor
