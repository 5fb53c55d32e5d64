// The platform services the program uses, bundled for the top level.
#pragma once

#include <functional>
#include <memory>

#include "platform/clock.h"
#include "platform/download_file.h"
#include "platform/file_system.h"
#include "platform/processes.h"
#include "platform/ui.h"

namespace velmorin::platform {

struct Platform {
  FileSystem& fs;
  Ui& ui;
  Processes& processes;
  Clock& clock;
  std::function<std::unique_ptr<DownloadFile>()> make_download_file;
};

}  // namespace velmorin::platform
