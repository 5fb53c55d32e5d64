// The platform services the program uses, bundled for the top level.
#pragma once

#include <functional>
#include <memory>

#include "common/run_report.h"
#include "platform/clock.h"
#include "platform/download_file.h"
#include "platform/file_system.h"
#include "platform/processes.h"
#include "platform/program_trust.h"
#include "platform/sha256.h"
#include "platform/ui.h"

namespace velmorin::platform {

struct Platform {
  FileSystem& fs;
  Ui& ui;
  Processes& processes;
  Clock& clock;
  std::function<std::unique_ptr<DownloadFile>()> make_download_file;
  // The run report; none in tests that do not look at it.
  RunReport* report = nullptr;
  // Signatures of the programs the run starts; none: not checked.
  ProgramTrust* trust = nullptr;
  // Digests of the files downloads put in place, for the report; none: sizes only.
  Sha256* sha256 = nullptr;
};

// An event for the run report, when there is one.
inline void Report(Platform& platform, std::string_view kind, std::string_view text) {
  if (platform.report != nullptr) platform.report->Event(kind, text);
}

}  // namespace velmorin::platform
