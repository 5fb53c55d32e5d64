// The Windows program: the portable core on the Win32 platform (windows drawn from the
// forms' control tables, WinINet transfers, cmd.exe command lines, shared record files).
#include <windows.h>

#include "app/updater.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_download_file.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_processes.h"
#include "platform/win32/win32_ui.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using namespace velmorin::platform;
  auto ui = MakeWin32Ui();
  auto fs = MakeWin32FileSystem();
  auto processes = MakeWin32Processes();
  auto clock = MakeWin32Clock();
  const DownloadOptions download_options = DownloadOptionsFromEnvironment();
  Platform platform{*fs, *ui, *processes, *clock, [&] { return MakeWinInetDownloadFile(download_options); }};
  velmorin::RunUpdater(platform);
  return 0;
}
