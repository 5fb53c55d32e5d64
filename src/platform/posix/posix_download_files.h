// The download's files on Linux: the temporary file is locked (flock) while a transfer holds
// it, which is how a later transfer tells a live one, on this or another machine sharing the
// folder, from one left by a killed run.
#pragma once

#include <memory>

#include "platform/download_files.h"
#include "platform/posix/posix_file_system.h"

namespace velmorin::platform {

// Targets are resolved through `fs`, which must outlive the object.
std::unique_ptr<DownloadFiles> MakePosixDownloadFiles(PosixFileSystem& fs);

}  // namespace velmorin::platform
