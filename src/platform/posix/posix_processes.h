// Starting programs on Linux without waiting: command lines through the cmd stand-in, in a
// detached child; program files in the run's current folder.
#pragma once

#include <memory>
#include <string>

#include "common/ui_log.h"
#include "platform/posix/posix_file_system.h"
#include "platform/processes.h"

namespace velmorin::platform {

// `fs` is the run's file system: its current folder and drive map at the time of each start.
// Each start goes to `log`. Children get /dev/null as stdin, and as stdout and stderr unless
// `command_log` (VELMORIN_COMMAND_LOG) names a file to append their output to.
std::unique_ptr<Processes> MakePosixProcesses(PosixFileSystem& fs, UiLog& log, std::string command_log = {});

}  // namespace velmorin::platform
