// What a conversion run does when it finds the marker of a run that was
// killed (convert/RunMarker.h), before it touches anything: it tells the
// files the killed run left behind from the user's own changes, and then
// removes those leftovers and a Git index lock that the killed run held.
#pragma once

#include <git2.h>

#include <string>

#include "convert/RunMarker.h"
#include "git/CheckoutLeftovers.h"

namespace pellmor {

struct TKilledRun {
  TRunMarker Marker;  // the killed run's marker
  // Changes of the working folder sorted against the commits the marker
  // names and the current HEAD: Foreign ones are the user's, to be asked
  // about; Leftovers are removed by CleanUpKilledRun.
  TSortedChanges Changes;
};

// Sorts the working folder's changes against the marker's commits and head
// (the current HEAD). Raises SortOutChanges's errors.
TKilledRun InspectKilledRun(git_repository* repository, const TRunMarker& marker,
                            const std::string& head);

// Removes the leftovers, and the index lock when the killed run held it: it
// is not older than the marker (which was written right before the
// checkout that took the lock) and no other process has it open. A lock that
// is not proven the killed run's stays, for the checkout to wait on.
void CleanUpKilledRun(git_repository* repository, const TKilledRun& killed,
                      const std::string& markerPath);

}  // namespace pellmor
