#include "platform/win32/win32_dpi.h"

namespace velmorin::platform {
namespace {

// Windows 10 1607 and later.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
// Windows 8.1 and later (shcore.dll); MDT_EFFECTIVE_DPI is 0.
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

template <class Fn>
Fn Lookup(const wchar_t* module, const char* name) {
  HMODULE handle = ::GetModuleHandleW(module);
  if (handle == nullptr) handle = ::LoadLibraryW(module);
  return handle == nullptr ? nullptr : reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(handle, name)));
}

int SystemDpi() {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

int DpiForMonitor(HMONITOR monitor) {
  static const auto get = Lookup<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
  UINT x = 0, y = 0;
  if (get != nullptr && monitor != nullptr && get(monitor, 0, &x, &y) == S_OK && y > 0) return static_cast<int>(y);
  return SystemDpi();
}

}  // namespace

int DpiForWindow(HWND hwnd) {
  static const auto get = Lookup<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
  if (get != nullptr) {
    if (const UINT dpi = get(hwnd); dpi > 0) return static_cast<int>(dpi);
  }
  return DpiForMonitor(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST));
}

int DpiForPrimaryMonitor() { return DpiForMonitor(::MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY)); }

RECT WindowRectForClient(RECT client, DWORD style, int dpi) {
  static const auto adjust = Lookup<AdjustWindowRectExForDpiFn>(L"user32.dll", "AdjustWindowRectExForDpi");
  if (adjust == nullptr || !adjust(&client, style, FALSE, 0, static_cast<UINT>(dpi))) {
    ::AdjustWindowRectEx(&client, style, FALSE, 0);
  }
  return client;
}

}  // namespace velmorin::platform
