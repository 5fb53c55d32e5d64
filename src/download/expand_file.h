// Expansion of a compressed download (a gzip stream) into the file beside it.
#pragma once

#include <string>

#include "platform/file_system.h"

namespace velmorin {

// Expands the gzip stream at `source` (one or more members) into `destination`, through a new
// temporary file beside it that replaces the destination only when the whole stream has
// expanded and checked out. Returns false, with the destination as it was and no temporary
// file left, for a missing, corrupt or truncated source, a failed write, or an output larger
// than 64 times the source or than the largest download.
bool ExpandFile(platform::FileSystem& fs, const std::string& source, const std::string& destination);

}  // namespace velmorin
