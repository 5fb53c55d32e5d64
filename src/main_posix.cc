// The Linux program: the portable core on the Linux platform (drive letters mapped onto
// folders under $VELMORIN_DRIVES, libcurl transfers, the cmd stand-in, a terminal view).
#include <curl/curl.h>

#include "app/updater.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_download_file.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_processes.h"
#include "platform/posix/posix_ui.h"

int main() {
  using namespace velmorin::platform;
  curl_global_init(CURL_GLOBAL_DEFAULT);
  PosixFileSystem fs(DrivesRootFromEnvironment());
  auto ui = MakePosixUi();
  auto processes = MakePosixProcesses(fs);
  auto clock = MakePosixClock();
  const DownloadOptions download_options = DownloadOptionsFromEnvironment();
  Platform platform{fs, *ui, *processes, *clock, [&] { return MakeCurlDownloadFile(fs, download_options); }};
  velmorin::RunUpdater(platform);
  return 0;
}
