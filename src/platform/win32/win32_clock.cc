// Win32Clock: seconds since local midnight from GetLocalTime; the performance counter for the
// waits.
#include "platform/win32/win32_clock.h"

#include <windows.h>

#include <cmath>

namespace velmorin::platform {
namespace {

class Win32Clock : public Clock {
 public:
  double SecondsSinceMidnight() override {
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    return t.wHour * 3600.0 + t.wMinute * 60.0 + t.wSecond + t.wMilliseconds / 1000.0;
  }

  double SteadySeconds() override {
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency_.QuadPart);
  }

  void Sleep(double seconds) override { ::Sleep(seconds > 0 ? static_cast<DWORD>(std::lround(seconds * 1000)) : 0); }

 private:
  LARGE_INTEGER frequency_ = [] {
    LARGE_INTEGER f{};
    ::QueryPerformanceFrequency(&f);  // never fails from Windows XP on
    return f;
  }();
};

}  // namespace

std::unique_ptr<Clock> MakeWin32Clock() { return std::make_unique<Win32Clock>(); }

}  // namespace velmorin::platform
