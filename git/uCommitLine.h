// The text of one commit as the commit list shows it.
#pragma once

#include <string>

#include "git/uGitLibrary.h"

namespace pellmor {

// A date-time value (days since 1899-12-30, time of day as fraction) as
// "YYYY-MM-DD HH:MM:SS" on the 24-hour clock, or "YYYY-MM-DD" alone when the
// time of day, to the nearest second, is exactly 00:00:00.
std::string CommitDateFormat(double dateTime);

// "<short id>  <date-time>  <author name> (<author e-mail>)  <message>", the
// message with its line breaks as they are.
std::string CommitListLine(const TGitCommitInfo& commit);

}  // namespace pellmor
