// The Windows program: the portable core on the Win32 platform (windows drawn from the
// forms' control tables, WinINet transfers, cmd.exe command lines, shared record files).
#include <windows.h>

#include "app/updater.h"
#include "common/environment.h"
#include "common/run_report.h"
#include "common/settings.h"
#include "common/ui_log.h"
#include "download/download_control.h"
#include "platform/program_end.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_download_files.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_processes.h"
#include "platform/win32/win32_program_trust.h"
#include "platform/win32/win32_ui.h"
#include "platform/win32/wininet_transport.h"

namespace {

// Where a technician finds the report without knowing the data drive, and where a standard
// user can always write: the user's local application data.
std::string ReportPath(const velmorin::Environment& env) {
  const std::string chosen = env.Get("VELMORIN_REPORT");
  if (!chosen.empty()) return chosen;
  const std::string local = env.Get("LOCALAPPDATA");
  if (local.empty()) return "";
  const std::string folder = local + "\\Velmorin";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder + "\\velmorin-update.log";
}

std::string ComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = "";
  DWORD size = sizeof name;
  return GetComputerNameA(name, &size) ? name : "";
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using namespace velmorin::platform;
  const velmorin::Environment env = velmorin::Environment::OfProcess();
  velmorin::RunReport report(ReportPath(env));
  velmorin::ReportProgramStart(report, VELMORIN_VERSION, ComputerName());
  velmorin::UiLog log(env.Get("VELMORIN_UI_LOG"), &report);
  const std::string unattended = env.Get("VELMORIN_UNATTENDED");
  auto ui = MakeWin32Ui(log, {.unattended = !unattended.empty() && unattended != "0"});
  auto fs = MakeWin32FileSystem();
  auto processes = MakeWin32Processes(log);
  auto clock = MakeWin32Clock();
  auto download_files = MakeWin32DownloadFiles();
  auto trust = MakeWin32ProgramTrust();
  auto sha256 = MakeWin32Sha256();
  const velmorin::DownloadOptions download_options = velmorin::ReadDownloadOptions(env);
  // Long after the control's own deadlines: only a worker left behind ever meets them.
  const double give_up_s = download_options.connect_timeout_s + download_options.stall_timeout_s + 15;
  auto transports = [give_up_s] { return MakeWinInetTransport(give_up_s); };
  Platform platform{
      *fs,
      *ui,
      *processes,
      *clock,
      [&] { return velmorin::MakeDownloadControl(transports, *download_files, *clock, download_options); },
      &report,
      trust.get(),
      sha256.get()};
  velmorin::RunUpdater(platform, velmorin::ReadSettings(env));
  return velmorin::kExitNormal;
}
