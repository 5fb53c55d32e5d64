// The Windows file system: CreateFileW with read/write sharing and no locks, positional
// reads and writes, the process's current drive and per-drive current folders.
#pragma once

#include <memory>

#include "platform/file_system.h"

namespace velmorin::platform {

std::unique_ptr<FileSystem> MakeWin32FileSystem();

}  // namespace velmorin::platform
