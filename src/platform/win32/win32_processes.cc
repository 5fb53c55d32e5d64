// Win32Processes: CreateProcessW, never waited for; each start is logged.
#include "platform/win32/win32_processes.h"

#include <windows.h>

#include "common/runtime_error.h"
#include "common/ui_log.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/win32_handle.h"

namespace velmorin::platform {
namespace {

class Win32Process : public Process {
 public:
  explicit Win32Process(UniqueHandle process) : process_(std::move(process)) {}
  bool Running() override { return ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

 private:
  UniqueHandle process_;
};

// Starts a process; the command line is searched and parsed the way Shell does it.
UniqueHandle Start(const wchar_t* application, std::wstring command_line, WORD show, DWORD flags,
                   const std::string& what) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = show;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(application, command_line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                        &info)) {
    FailLastError(err::kFileNotFound, "start " + what);
  }
  UniqueHandle thread(info.hThread);
  // Our window is in the foreground now; let the new program take the focus from it.
  ::AllowSetForegroundWindow(info.dwProcessId);
  return UniqueHandle(info.hProcess);
}

std::wstring FullPath(const std::wstring& path) {
  wchar_t buffer[MAX_PATH * 4];
  const DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(std::size(buffer)), buffer, nullptr);
  return n == 0 || n >= std::size(buffer) ? path : std::wstring(buffer, n);
}

class Win32Processes : public Processes {
 public:
  explicit Win32Processes(UiLog& log) : log_(log) {}

  std::unique_ptr<Process> StartHidden(const std::string& command_line) override {
    log_.Line({"start", "hidden", command_line});
    return std::make_unique<Win32Process>(Start(nullptr, Wide(command_line), SW_HIDE, CREATE_NO_WINDOW, command_line));
  }

  void StartFocused(const std::string& program) override {
    const std::wstring path = FullPath(Wide(program));
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      FailWin32(ERROR_FILE_NOT_FOUND, err::kFileNotFound, "start " + program);
    }
    // As on Linux: only a program that is there is logged as started.
    log_.Line({"start", "focused", program});
    // The program by its full path (no search), quoted in its own command line.
    Start(path.c_str(), L"\"" + path + L"\"", SW_SHOWNORMAL, 0, program);
  }

 private:
  UiLog& log_;
};

}  // namespace

std::unique_ptr<Processes> MakeWin32Processes(UiLog& log) { return std::make_unique<Win32Processes>(log); }

}  // namespace velmorin::platform
