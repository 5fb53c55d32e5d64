// arj.exe for Wine: runs Debian's arj with the same arguments, each Windows path among them
// turned into the Unix path Wine gives it (a folder with a trailing slash, as arj wants its
// destination), so that the run's "cmd /c cd F:\velmorin\ &  arj e ..." extracts for real.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

constexpr wchar_t kArj[] = L"Z:\\usr\\bin\\arj";

using UnixFileName = char* (*)(const wchar_t*);

bool LooksLikePath(const std::wstring& arg) {
  return arg.find(L'\\') != std::wstring::npos || (arg.size() >= 2 && arg[1] == L':');
}

std::wstring Widen(const std::string& utf8) {
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring out(n > 0 ? n - 1 : 0, L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), n);
  return out;
}

std::wstring UnixPath(const std::wstring& windows_path, UnixFileName to_unix) {
  wchar_t full[MAX_PATH * 4];
  if (::GetFullPathNameW(windows_path.c_str(), MAX_PATH * 4, full, nullptr) == 0) return windows_path;
  char* unix_path = to_unix(full);
  if (unix_path == nullptr) return windows_path;
  std::wstring path = Widen(unix_path);
  ::HeapFree(::GetProcessHeap(), 0, unix_path);
  const DWORD attributes = ::GetFileAttributesW(full);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) && path.back() != L'/') {
    path += L'/';
  }
  return path;
}

std::wstring Quoted(const std::wstring& arg) {
  return arg.find_first_of(L" \t\"") == std::wstring::npos ? arg : L"\"" + arg + L"\"";
}

}  // namespace

int main() {
  const auto to_unix = reinterpret_cast<UnixFileName>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (to_unix == nullptr) {
    std::fprintf(stderr, "arj.exe: this stand-in runs only under Wine\n");
    return 2;
  }
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  std::wstring command_line = kArj;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    command_line += L" " + Quoted(LooksLikePath(arg) ? UnixPath(arg, to_unix) : arg);
  }
  ::LocalFree(argv);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(kArj, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    std::fprintf(stderr, "arj.exe: cannot start /usr/bin/arj (error %lu)\n", ::GetLastError());
    return 2;
  }
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return static_cast<int>(code);
}
