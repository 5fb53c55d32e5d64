// The Linux program: the portable core on the Linux platform (drive letters mapped onto
// folders under $VELMORIN_DRIVES, libcurl transfers, the cmd stand-in, a terminal view).
#include <unistd.h>

#include "app/updater.h"
#include "common/environment.h"
#include "common/run_report.h"
#include "common/settings.h"
#include "common/ui_log.h"
#include "download/download_control.h"
#include "platform/posix/curl_transport.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_download_files.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_processes.h"
#include "platform/posix/posix_program_trust.h"
#include "platform/posix/posix_ui.h"

int main() {
  using namespace velmorin::platform;
  const velmorin::Environment env = velmorin::Environment::OfProcess();
  velmorin::RunReport report(env.Get("VELMORIN_REPORT"));
  char host[256] = "";
  ::gethostname(host, sizeof host - 1);
  velmorin::ReportProgramStart(report, VELMORIN_VERSION, host);
  velmorin::UiLog log(env.Get("VELMORIN_UI_LOG"), &report);
  PosixFileSystem fs(DrivesRoot(env));
  auto ui = MakePosixUi(log);
  auto processes = MakePosixProcesses(fs, log, env.Get("VELMORIN_COMMAND_LOG"));
  auto clock = MakePosixClock();
  auto download_files = MakePosixDownloadFiles(fs);
  auto trust = MakePosixProgramTrust();
  auto sha256 = MakePosixSha256();
  const velmorin::DownloadOptions download_options = velmorin::ReadDownloadOptions(env);
  auto transports = [&] { return MakeCurlTransport(download_options.ca_file); };
  Platform platform{
      fs,
      *ui,
      *processes,
      *clock,
      [&] { return velmorin::MakeDownloadControl(transports, *download_files, *clock, download_options); },
      &report,
      trust.get(),
      sha256.get()};
  velmorin::RunUpdater(platform, velmorin::ReadSettings(env));
}
