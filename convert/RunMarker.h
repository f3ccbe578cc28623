// The marker of a conversion run under way (.Quarv/Run.txt), written before
// the run first touches the working folder and before each checkout, and
// deleted once the run has put the folder back at HEAD. A marker that the
// next run finds means that its writer was killed: it names the commits
// whose files the folder may hold, so that the next run can tell what the
// killed one left behind from the user's own changes. docs/store-format.md
// describes the file.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pellmor {

struct TRunMarker {
  // The commit HEAD named when the run began: what the run restores.
  std::string Head;
  // The other commits whose files the working folder may hold: the one it
  // held whole before the checkout under way and the one being checked out
  // (more after a killed run, whose commits are carried over).
  std::vector<std::string> Holds;

  // The marker in the file at path, or nullopt when there is none. Raises
  // the file layer's errors, and "The run marker '<path>' is damaged: ..."
  // for a file that is not a marker.
  static std::optional<TRunMarker> Read(const std::string& path);
  // Replaces the file at path in one atomic step (not waiting for the disk).
  void Write(const std::string& path) const;
  // Adds a commit to Holds unless it is there or is Head.
  void AddHeld(const std::string& commit);
};

}  // namespace pellmor
