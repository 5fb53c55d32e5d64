// Dots per inch where a window is, on every Windows from 7 on: the per-monitor functions of
// newer systems are looked up at run time, with the system-wide figure as the fallback.
#pragma once

#include <windows.h>

namespace velmorin::platform {

// The DPI of the monitor that holds most of `hwnd`.
int DpiForWindow(HWND hwnd);
// The DPI of the primary monitor, where new windows are centred.
int DpiForPrimaryMonitor();
// The outer rectangle of a window of `style` whose client area is `client`, at `dpi`.
RECT WindowRectForClient(RECT client, DWORD style, int dpi);

}  // namespace velmorin::platform
