// Revision times as people and scripts read them: ISO 8601 in the local time
// zone (the process's TZ) with the zone's offset, e.g. 2024-05-01T14:03:22+02:00.
#pragma once

#include <cstdint>
#include <string>

namespace pellmor {

// A UTC FILETIME as local time, to the second (fractions dropped); a time
// that the local calendar cannot express (a damaged value) gives
// "(invalid date)".
std::string IsoLocalDate(uint64_t fileTime);

}  // namespace pellmor
