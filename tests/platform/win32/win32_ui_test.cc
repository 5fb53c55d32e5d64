// The Windows user interface on a real (virtual) display: forms drawn from their tables at
// the screen's DPI, the progress bar control, the hidden panel, label clicks, timers, the
// modal loop, ESC whichever control has the focus, message boxes and the end.
#include "platform/win32/win32_ui.h"

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "app/inicio_mr_form.h"
#include "common/cp1252.h"
#include "download/menor_ref_form.h"
#include "support/temp_dir.h"

#undef MessageBox

namespace velmorin {
namespace {

using namespace std::chrono_literals;

std::wstring WideText(const std::string& cp1252) {
  const std::u16string u = Utf16FromCp1252(cp1252);
  return std::wstring(u.begin(), u.end());
}

HWND WindowOf(const Form& form) { return ::FindWindowW(L"VelmorinForm", WideText(form.Text(form.name())).c_str()); }

// A callback of the system's own calling convention (a lambda is not one on 32-bit Windows).
BOOL CALLBACK AddChild(HWND child, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
  return TRUE;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  ::EnumChildWindows(parent, AddChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

int ScreenDpi() {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

int Px(int twips) { return ::MulDiv(twips, ScreenDpi(), 1440); }

// run-test.sh names one UI log for the whole program, so that a death test's child process
// writes where its parent reads.
std::string UiLogPath() {
  const char* path = std::getenv("VELMORIN_UI_LOG");
  return path == nullptr ? std::string() : path;
}

class Win32UiTest : public testing::Test {
 protected:
  // Lets messages through until `done` or two seconds have passed.
  template <class F>
  bool PumpUntil(F done) {
    const auto until = std::chrono::steady_clock::now() + 2s;
    while (!done() && std::chrono::steady_clock::now() < until) {
      ui_->DoEvents();
      ::Sleep(5);
    }
    return done();
  }

  // One per test: the user interface knows its forms by address, and a form of the next
  // test may be built where the last one was.
  UiLog log_{UiLogPath()};
  std::unique_ptr<platform::Ui> owned_ui_ = platform::MakeWin32Ui(log_, {.unattended = true});
  platform::Ui* ui_ = owned_ui_.get();
};

TEST_F(Win32UiTest, StartUpFormIsDrawnFromItsTableAtTheScreenDpi) {
  // The stage runs these tests once more with the screen at 150% (run-test.sh --dpi 144).
  if (const char* want = std::getenv("VELMORIN_TEST_DPI")) {
    ASSERT_EQ(ScreenDpi(), std::atoi(want));
  }
  Form form(InicioMrFormSpec());
  ui_->Load(form);
  const HWND window = WindowOf(form);
  ASSERT_NE(window, nullptr) << "caption with its leading blank";
  EXPECT_FALSE(::IsWindowVisible(window));
  RECT client{};
  ::GetClientRect(window, &client);
  EXPECT_EQ(client.right, Px(5985));
  EXPECT_EQ(client.bottom, Px(1740));
  const LONG_PTR style = ::GetWindowLongPtrW(window, GWL_STYLE);
  EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
  // Labels are painted by the form: the bar is its only child window.
  const std::vector<HWND> children = Children(window);
  ASSERT_EQ(children.size(), 1u);
  wchar_t kind[64] = {};
  ::GetClassNameW(children[0], kind, 64);
  EXPECT_EQ(std::wstring(kind), PROGRESS_CLASSW);
  PBRANGE range{};
  ::SendMessageW(children[0], PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);
  RECT bar{};
  ::GetWindowRect(children[0], &bar);
  ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&bar), 2);
  EXPECT_EQ(bar.left, Px(690));
  EXPECT_EQ(bar.top, Px(1110));

  form.SetValue("ProgressBar1", 42);
  EXPECT_EQ(::SendMessageW(children[0], PBM_GETPOS, 0, 0), 42);
  ui_->Show(form);
  EXPECT_TRUE(::IsWindowVisible(window));
  ui_->Unload(form);
  EXPECT_EQ(WindowOf(form), nullptr);
}

TEST_F(Win32UiTest, DialogShowsNothingOfItsHiddenPanel) {
  Form form(MenorRefFormSpec());
  ui_->Load(form);
  const HWND window = WindowOf(form);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(Children(window).size(), 1u) << "text boxes, buttons and the option of Frame1 are never shown";
  form.SetText(form.name(), "Otro titulo");
  EXPECT_NE(WindowOf(form), nullptr);
  ui_->Unload(form);
}

TEST_F(Win32UiTest, ClickOnTheCerrarLabelReachesTheForm) {
  Form form(InicioMrFormSpec());
  std::vector<std::string> clicks;
  form.on_click = [&](const std::string& control) { clicks.push_back(control); };
  ui_->Load(form);
  ui_->Show(form);
  const HWND window = WindowOf(form);
  const LPARAM on_label = MAKELPARAM(Px(5130) + 3, Px(1440) + 3);
  const LPARAM beside = MAKELPARAM(Px(100), Px(100));
  ::PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, beside);
  ::PostMessageW(window, WM_LBUTTONUP, 0, beside);
  ::PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, on_label);
  ::PostMessageW(window, WM_LBUTTONUP, 0, on_label);
  EXPECT_TRUE(PumpUntil([&] { return !clicks.empty(); }));
  EXPECT_EQ(clicks, std::vector<std::string>{"Label2"});
  ui_->Unload(form);
}

TEST_F(Win32UiTest, TimersTickWhileEnabled) {
  Form form(InicioMrFormSpec());
  int ticks = 0;
  form.on_timer = [&](const std::string& timer) {
    EXPECT_EQ(timer, "Timer1");
    if (++ticks == 3) form.SetTimerEnabled("Timer1", false);
  };
  ui_->Load(form);
  EXPECT_TRUE(PumpUntil([&] { return ticks >= 3; }));
  PumpUntil([] { return false; });
  EXPECT_EQ(ticks, 3);
  ui_->Unload(form);
}

TEST_F(Win32UiTest, ModalDialogDisablesTheStartUpFormAndTakesEscWhateverHasTheFocus) {
  Form startup(InicioMrFormSpec());
  FormSpec spec = MenorRefFormSpec();
  // A visible text box takes the keyboard focus away from the form itself.
  spec.controls.push_back({.name = "Focused", .kind = ControlKind::kTextBox, .rect = {120, 600, 2000, 285}});
  Form dialog(spec);
  ui_->Load(startup);
  ui_->Show(startup);
  ui_->Load(dialog);
  bool startup_disabled = false;
  int ticks = 0;
  std::vector<int> keys;
  dialog.on_key_press = [&](int key) { keys.push_back(key); };
  dialog.on_timer = [&](const std::string&) {
    if (++ticks == 1) {
      startup_disabled = !::IsWindowEnabled(WindowOf(startup));
      const HWND edit = ::FindWindowExW(WindowOf(dialog), nullptr, L"EDIT", nullptr);
      ::SetFocus(edit);
      ::keybd_event(VK_ESCAPE, 0, 0, 0);
      ::keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
    }
    if (!keys.empty() || ticks > 300) ui_->Unload(dialog);
  };
  ui_->ShowModal(dialog);
  EXPECT_TRUE(startup_disabled);
  EXPECT_EQ(keys, std::vector<int>{27});
  EXPECT_TRUE(::IsWindowEnabled(WindowOf(startup)));
  ui_->Unload(startup);
}

TEST_F(Win32UiTest, UnattendedMessageBoxesAndErrorReportsAreLoggedWithoutWaiting) {
  ui_->MessageBox(platform::MessageIcon::kInformation, "", "Descarga cancelada");
  ui_->MessageBox(platform::MessageIcon::kCritical, "Error de actualizacion", "No puede descargar \nF:\\x");
  ui_->ReportRuntimeError(RuntimeError(53));
  const std::string log = test_support::ReadFileBytes(UiLogPath());
  EXPECT_NE(log.find("msgbox\tinformation\tCondiciones de dispensación\tDescarga cancelada\n"), std::string::npos)
      << log;
  EXPECT_NE(log.find("msgbox\tcritical\tError de actualizacion\tNo puede descargar \\nF:\\x\n"), std::string::npos);
  EXPECT_NE(log.find("error\t53\tNo se ha encontrado el archivo\n"), std::string::npos);
}

TEST_F(Win32UiTest, WhatATimerLetsOutIsReportedAndEndsWithTwo) {
  Form form(InicioMrFormSpec());
  form.on_timer = [](const std::string&) {
    throw std::filesystem::filesystem_error("is_regular_file", std::make_error_code(std::errc::filename_too_long));
  };
  EXPECT_EXIT(ui_->Run(form), testing::ExitedWithCode(2), "");
  EXPECT_NE(test_support::ReadFileBytes(UiLogPath()).find("error\t51\tError interno\nexit\t2\n"), std::string::npos);
  form.on_timer = [](const std::string&) { throw std::bad_alloc(); };
  EXPECT_EXIT(ui_->Run(form), testing::ExitedWithCode(2), "");
  EXPECT_NE(test_support::ReadFileBytes(UiLogPath()).find("error\t7\tMemoria insuficiente\nexit\t2\n"),
            std::string::npos);
}

TEST_F(Win32UiTest, EndProgramLogsAndEndsWithTheCode) {
  EXPECT_EXIT(ui_->EndProgram(3), testing::ExitedWithCode(3), "");
  EXPECT_NE(test_support::ReadFileBytes(UiLogPath()).find("exit\t3\n"), std::string::npos);
}

}  // namespace
}  // namespace velmorin
