// Win32Ui: the message loops, the modal dialog, ESC, message boxes and the end of the
// program. Every event handler runs behind the core's one boundary (RunEventHandler) that
// turns what it throws into the run-time error report, so that no exception crosses a window
// procedure.
#include "platform/win32/win32_ui.h"

#include <windows.h>
#include <commctrl.h>
#undef MessageBox  // the Ui member, not the Win32 macro

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "common/cp1252.h"
#include "common/ui_log.h"
#include "platform/program_end.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/win32_form_window.h"

namespace velmorin::platform {
namespace {

constexpr int kEscape = 27;
constexpr auto kLongestDoEvents = std::chrono::milliseconds(50);

std::string ProgramTitle() { return Ansi("Condiciones de dispensación"); }

// No desktop to show a message box on: nobody could answer it.
bool NoVisibleDesktop() {
  USEROBJECTFLAGS flags{};
  return ::GetUserObjectInformationW(::GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, nullptr) &&
         (flags.dwFlags & WSF_VISIBLE) == 0;
}

class Win32Ui : public Ui, public FormWindowHost {
 public:
  Win32Ui(UiLog& log, Win32UiOptions options) : log_(log), unattended_(options.unattended || NoVisibleDesktop()) {
    instance_ = this;
  }
  ~Win32Ui() override {
    RemoveHook();
    if (instance_ == this) instance_ = nullptr;
  }
  Win32Ui(const Win32Ui&) = delete;
  Win32Ui& operator=(const Win32Ui&) = delete;

  void Load(Form& form) override {
    auto& window = windows_[&form];
    if (!window) {
      window = std::make_unique<FormWindow>(form, *this);
      form.AddObserver(&log_);
      form.AddObserver(window.get());
    }
    form.MarkLoaded();
  }

  void Show(Form& form) override { form.MarkShown(); }

  void ShowModal(Form& form) override {
    if (!form.loaded()) return;
    const std::vector<HWND> disabled = DisableOtherForms(form);
    modal_.push_back(&form);
    InstallHook();
    form.MarkShown();
    Loop(form);
    modal_.pop_back();
    if (modal_.empty()) RemoveHook();
    for (HWND hwnd : disabled) ::EnableWindow(hwnd, TRUE);
    if (!disabled.empty()) ::SetForegroundWindow(disabled.front());
  }

  void Unload(Form& form) override { form.MarkUnloaded(); }

  void Refresh(Form& form) override {
    const auto it = windows_.find(&form);
    if (it != windows_.end()) it->second->Repaint();
  }

  void DoEvents() override {
    const auto until = std::chrono::steady_clock::now() + kLongestDoEvents;
    MSG message;
    while (std::chrono::steady_clock::now() < until && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        ::PostQuitMessage(static_cast<int>(message.wParam));
        return;
      }
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }

  void MessageBox(MessageIcon icon, const std::string& title, const std::string& text) override {
    const std::string shown_title = title.empty() ? ProgramTitle() : title;
    const bool critical = icon == MessageIcon::kCritical;
    log_.Line({"msgbox", critical ? "critical" : "information", shown_title, text});
    ShowBox(shown_title, text, critical ? MB_ICONSTOP : MB_ICONINFORMATION);
  }

  void ReportRuntimeError(const RuntimeError& error) override {
    log_.Line({"error", std::to_string(error.number()), error.description()});
    ShowBox(ProgramTitle(), RuntimeErrorReportText(error), MB_ICONSTOP);
  }

  [[noreturn]] void EndProgram(int code) override { End(code); }

  [[noreturn]] void Run(Form& startup) override {
    RunHandler([&] {
      Load(startup);
      Show(startup);
      Loop(startup);
    });
    // The start-up form is gone: the program is over.
    End(kExitNormal);
  }

  void RunHandler(const std::function<void()>& handler) override { RunEventHandler(*this, handler); }

  void CloseRequested(Form& form) override {
    // The dialog's close box asks to cancel, as ESC does; the program ends itself.
    if (!modal_.empty()) {
      if (modal_.back() == &form) KeyPressed(kEscape);
      return;
    }
    // A form closed while nothing runs: the program ends with its last form.
    RunHandler([&] { Unload(form); });
    for (const auto& [other, window] : windows_) {
      if (other->loaded()) return;
    }
    End(kExitNormal);
  }

 private:
  [[noreturn]] void End(int code) {
    log_.Line({"exit", std::to_string(code)});
    std::fflush(nullptr);
    ::ExitProcess(static_cast<UINT>(code));
    std::_Exit(code);  // not reached: ExitProcess does not return
  }

  // Dispatches messages until the form is unloaded.
  void Loop(const Form& form) {
    MSG message;
    while (form.loaded()) {
      const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
      if (got == 0) End(static_cast<int>(message.wParam));
      if (got < 0) EndOnRuntimeError(*this, RuntimeError(err::kInternalError, "GetMessage"));
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }

  std::vector<HWND> DisableOtherForms(const Form& modal) {
    std::vector<HWND> disabled;
    for (const auto& [form, window] : windows_) {
      const HWND hwnd = window->hwnd();
      if (form == &modal || hwnd == nullptr || !::IsWindowEnabled(hwnd)) continue;
      ::EnableWindow(hwnd, FALSE);
      disabled.push_back(hwnd);
    }
    return disabled;
  }

  void ShowBox(const std::string& title, const std::string& text, UINT icon) {
    if (unattended_) return;
    // Task-modal: every window of the program waits for the answer.
    ::MessageBoxW(nullptr, Wide(text).c_str(), Wide(title).c_str(), MB_OK | icon | MB_TASKMODAL | MB_SETFOREGROUND);
  }

  // ESC on the modal form, whichever of its controls has the focus.
  void KeyPressed(int key) {
    if (modal_.empty()) return;
    Form& form = *modal_.back();
    if (!form.visible() || !form.on_key_press) return;
    RunHandler([&] { form.on_key_press(key); });
  }

  void InstallHook() {
    if (hook_ == nullptr) hook_ = ::SetWindowsHookExW(WH_KEYBOARD, &KeyboardHook, nullptr, ::GetCurrentThreadId());
  }

  void RemoveHook() {
    if (hook_ != nullptr) ::UnhookWindowsHookEx(hook_);
    hook_ = nullptr;
  }

  static LRESULT CALLBACK KeyboardHook(int code, WPARAM key, LPARAM flags) {
    const bool pressed = (static_cast<DWORD>(flags) & 0x80000000u) == 0;
    if (code == HC_ACTION && key == VK_ESCAPE && pressed && instance_ != nullptr) instance_->KeyPressed(kEscape);
    return ::CallNextHookEx(nullptr, code, key, flags);
  }

  static Win32Ui* instance_;  // for the keyboard hook, which gets no context
  UiLog& log_;
  bool unattended_;
  std::map<Form*, std::unique_ptr<FormWindow>> windows_;
  std::vector<Form*> modal_;
  HHOOK hook_ = nullptr;
};

Win32Ui* Win32Ui::instance_ = nullptr;

}  // namespace

std::unique_ptr<Ui> MakeWin32Ui(UiLog& log, Win32UiOptions options) {
  // Drawn at the screen's real resolution instead of scaled up blurred by the system.
  ::SetProcessDPIAware();
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  return std::make_unique<Win32Ui>(log, options);
}

}  // namespace velmorin::platform
