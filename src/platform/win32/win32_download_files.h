// The download's files on Windows: the temporary file is held open without delete sharing
// while a transfer writes it, which is how a later transfer, on this or another workstation,
// tells a live one from one left by a killed run.
#pragma once

#include <memory>

#include "platform/download_files.h"

namespace velmorin::platform {

std::unique_ptr<DownloadFiles> MakeWin32DownloadFiles();

}  // namespace velmorin::platform
