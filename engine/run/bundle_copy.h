#pragma once

#include "engine/run/run_error.h"

#include <string>

namespace tessaly {

/// Copies every entry of the open folder `from` (the bundle the user calls `bundleName`) into
/// the open, empty folder `to`, except the top-level entry named `skip`: files with their bytes,
/// folders with their entries, links as links; each copy gets its original's permission bits
/// plus write (and, for a folder, search) permission for its owner and is forced to the disk.
/// A named pipe, socket or device is never opened. Throws RunError: an entry that cannot be
/// read, or is of a kind never copied, is named; a copy that cannot be written is told as
/// `writing` gives.
void copyBundleEntries(int from, int to, const std::string &skip, const std::string &bundleName,
                       const WriteFailure &writing);

} // namespace tessaly
