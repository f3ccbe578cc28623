// Reads a Quarv store back for tests, through the store engine: every
// recorded revision with its header and the files it holds, bytes included
// (fetched from the revision that stored them).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace pellmor::test {

struct StoredFile {
  std::string Bytes;
  uint32_t Attributes = 0;
};

struct StoredRevision {
  int32_t Number = 0;
  std::string Comment;
  std::string Author;
  std::string Email;
  uint64_t Date = 0;  // FILETIME, UTC
  // The files the revision holds (deleted ones left out), by name with '/'
  // between folders.
  std::map<std::string, StoredFile> Files;
};

// The revisions of the store in folder (ending in '/'), in the order of its
// history. Errors of the store propagate.
std::vector<StoredRevision> ReadStoreRevisions(const std::string& folder);

}  // namespace pellmor::test
