// The check a conversion run makes before it appends to a store: the checks
// of `quarv verify` that decompress nothing (history, container headers and
// entry records, links between revisions, names, where each file's bytes
// are, Index.dat, the commit record). A run never adds revisions to a store
// that is damaged.
#pragma once

#include <string>

namespace pellmor {

// Raises, when the store of the working folder (ending in '/') is damaged,
// "The store '<folder>.Quarv/' is damaged, so nothing is added to it:
// <file>: <first problem> (and N more problems). 'quarv verify <folder>'
// lists every problem." A folder without a store passes.
void RefuseDamagedStore(const std::string& folder);

}  // namespace pellmor
