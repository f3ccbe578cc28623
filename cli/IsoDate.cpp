#include "cli/IsoDate.h"

#include <time.h>

#include <cstdio>
#include <cstdlib>

#include "foundation/Platform.h"

namespace pellmor {

std::string IsoLocalDate(uint64_t fileTime) {
  const TUnixTime instant = FileTimeToUnixTime(fileTime);
  const time_t seconds = static_cast<time_t>(instant.Seconds);
  tm local{};
  if (localtime_r(&seconds, &local) == nullptr || local.tm_year + 1900 < 1 ||
      local.tm_year + 1900 > 9999)
    return "(invalid date)";
  const long offset = local.tm_gmtoff / 60;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, offset < 0 ? '-' : '+', std::labs(offset) / 60,
                std::labs(offset) % 60);
  return text;
}

}  // namespace pellmor
