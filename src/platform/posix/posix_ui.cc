// PosixUi: the event loops, keys in raw mode, message boxes and the end of the program.
#include "platform/posix/posix_ui.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>
#include <vector>

#include "common/cp1252.h"
#include "common/ui_log.h"
#include "platform/posix/terminal_view.h"
#include "platform/program_end.h"

namespace velmorin::platform {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kEscape = 27;
constexpr milliseconds kLongestNap{50};

// The terminal settings to put back if a signal ends us while keys are read raw.
struct termios saved_termios;
volatile std::sig_atomic_t saved_termios_fd = -1;

extern "C" void RestoreTerminalAndDie(int signal_number) {
  if (saved_termios_fd >= 0) ::tcsetattr(saved_termios_fd, TCSANOW, &saved_termios);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

void WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// A background job that touched its terminal's settings or read from it would be stopped.
bool InBackground(int fd) {
  const pid_t foreground = ::tcgetpgrp(fd);
  return foreground != -1 && foreground != ::getpgrp();
}

// Keys from a terminal without waiting for a line: no echo, no line editing; Ctrl-C still
// interrupts. Nothing is read from an input that is not a terminal.
class TerminalInput {
 public:
  explicit TerminalInput(int fd) : fd_(fd), terminal_(::isatty(fd) == 1 && !InBackground(fd)) {
    if (!terminal_ || ::tcgetattr(fd_, &saved_) != 0) {
      terminal_ = false;
      return;
    }
    saved_termios = saved_;
    saved_termios_fd = fd_;
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) std::signal(s, RestoreTerminalAndDie);
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    ::tcsetattr(fd_, TCSANOW, &raw);
  }
  ~TerminalInput() { Restore(); }
  TerminalInput(const TerminalInput&) = delete;
  TerminalInput& operator=(const TerminalInput&) = delete;

  bool terminal() const { return terminal_; }

  void Restore() {
    if (!terminal_ || restored_) return;
    restored_ = true;
    ::tcsetattr(fd_, TCSANOW, &saved_);
    if (saved_termios_fd == fd_) saved_termios_fd = -1;
  }

  // The keys typed since the last call; the escape sequences of arrow and function keys are
  // dropped, so that only a lone ESC counts as ESC.
  std::vector<int> ReadKeys(int timeout_ms = 0) {
    std::vector<int> keys;
    if (!terminal_ || restored_) return keys;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeout_ms) <= 0) return keys;
    unsigned char bytes[64];
    const ssize_t n = ::read(fd_, bytes, sizeof bytes);
    for (ssize_t i = 0; i < n; ++i) {
      if (bytes[i] == kEscape && i + 1 < n && (bytes[i + 1] == '[' || bytes[i + 1] == 'O')) {
        i += 2;
        while (i < n && (bytes[i] < 0x40 || bytes[i] > 0x7E)) ++i;
        continue;
      }
      keys.push_back(bytes[i]);
    }
    return keys;
  }

  // Blocks until Enter, space or ESC; keys typed before the question do not answer it.
  void WaitForAnswer() {
    if (!terminal_ || restored_) return;
    ::tcflush(fd_, TCIFLUSH);
    for (;;) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, -1) < 0 && errno != EINTR) return;
      if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && (p.revents & POLLIN) == 0) return;
      for (int key : ReadKeys()) {
        if (key == '\n' || key == '\r' || key == ' ' || key == kEscape) return;
      }
    }
  }

 private:
  int fd_;
  bool terminal_;
  bool restored_ = false;
  termios saved_{};
};

// Fires a form's enabled timers when their intervals have passed, in the order of the
// control table.
class TimerSchedule {
 public:
  explicit TimerSchedule(Form& form) : form_(form) {
    for (const ControlSpec& control : form.spec().controls) {
      if (control.kind == ControlKind::kTimer && control.interval_ms > 0) timers_.push_back({&control, std::nullopt});
    }
  }

  // Returns how long until the next timer is due.
  milliseconds FireDue() {
    for (Timer& timer : timers_) {
      if (!form_.loaded()) break;
      const std::string& name = timer.control->name;
      if (!form_.TimerEnabled(name)) {
        timer.due.reset();
        continue;
      }
      const milliseconds interval(timer.control->interval_ms);
      if (!timer.due) timer.due = Clock::now() + interval;
      if (Clock::now() < *timer.due || !form_.on_timer) continue;
      form_.on_timer(name);
      timer.due = Clock::now() + interval;
    }
    return UntilNext();
  }

 private:
  struct Timer {
    const ControlSpec* control;
    std::optional<Clock::time_point> due;
  };

  milliseconds UntilNext() const {
    milliseconds wait = kLongestNap;
    for (const Timer& timer : timers_) {
      if (!timer.due) continue;
      wait = std::min(wait, std::chrono::duration_cast<milliseconds>(*timer.due - Clock::now()));
    }
    return std::max(wait, milliseconds(1));
  }

  Form& form_;
  std::vector<Timer> timers_;
};

class PosixUi : public Ui {
 public:
  PosixUi(UiLog& log, PosixUiOptions options)
      : log_(log), output_fd_(options.output_fd), input_(options.input_fd), view_(options.output_fd) {}

  void Load(Form& form) override {
    if (std::find(attached_.begin(), attached_.end(), &form) == attached_.end()) {
      form.AddObserver(&log_);
      form.AddObserver(&view_);
      attached_.push_back(&form);
    }
    form.MarkLoaded();
  }

  void Show(Form& form) override { form.MarkShown(); }

  void ShowModal(Form& form) override {
    if (!form.loaded()) return;
    form.MarkShown();
    modal_.push_back(&form);
    try {
      RunLoop(form);
    } catch (...) {
      std::erase(modal_, &form);
      throw;
    }
    std::erase(modal_, &form);
  }

  void Unload(Form& form) override { form.MarkUnloaded(); }

  void Refresh(Form& form) override {
    if (form.visible()) view_.Draw();
  }

  void DoEvents() override {
    for (int key : input_.ReadKeys()) {
      Form* target = KeyTarget();
      if (target != nullptr && target->on_key_press) target->on_key_press(key);
    }
    view_.DrawIfDue();
  }

  void MessageBox(MessageIcon icon, const std::string& title, const std::string& text) override {
    const std::string shown_title = title.empty() ? Ansi("Condiciones de dispensación") : title;
    const bool critical = icon == MessageIcon::kCritical;
    log_.Line({"msgbox", critical ? "critical" : "information", shown_title, text});
    ShowBox(critical ? "[!] " : "[i] ", shown_title, text);
  }

  void ReportRuntimeError(const RuntimeError& error) override {
    log_.Line({"error", std::to_string(error.number()), error.description()});
    ShowBox("[!] ", Ansi("Condiciones de dispensación"), RuntimeErrorReportText(error));
  }

  [[noreturn]] void EndProgram(int code) override { End(code); }

  [[noreturn]] void Run(Form& startup) override {
    RunEventHandler(*this, [&] {
      Load(startup);
      Show(startup);
      RunLoop(startup);
    });
    // The last form is gone: the program is over.
    End(kExitNormal);
  }

 private:
  [[noreturn]] void End(int code) {
    log_.Line({"exit", std::to_string(code)});
    view_.Release();
    input_.Restore();
    std::fflush(nullptr);
    std::_Exit(code);
  }

  // Runs the form's timers and lets events through until the form is unloaded, sleeping
  // between ticks so that an idle loop costs no processor.
  void RunLoop(Form& form) {
    TimerSchedule timers(form);
    while (form.loaded()) {
      const milliseconds wait = timers.FireDue();
      if (!form.loaded()) break;
      DoEvents();
      std::this_thread::sleep_for(wait);
    }
  }

  Form* KeyTarget() const {
    for (auto it = modal_.rbegin(); it != modal_.rend(); ++it) {
      if ((*it)->visible()) return *it;
    }
    return view_.TopForm();
  }

  void ShowBox(const std::string& mark, const std::string& title, const std::string& text) {
    view_.Release();
    std::string body;
    for (char c : Utf8FromCp1252(text)) {
      body += c;
      if (c == '\n') body += "    ";
    }
    WriteAll(output_fd_, "\n" + mark + Utf8FromCp1252(title) + "\n    " + body + "\n");
    if (!input_.terminal()) return;
    WriteAll(output_fd_, "    (pulse Intro para continuar)\n");
    input_.WaitForAnswer();
  }

  UiLog& log_;
  int output_fd_;
  TerminalInput input_;
  TerminalView view_;
  std::vector<Form*> attached_;
  std::vector<Form*> modal_;
};

}  // namespace

std::unique_ptr<Ui> MakePosixUi(UiLog& log, PosixUiOptions options) { return std::make_unique<PosixUi>(log, options); }

}  // namespace velmorin::platform
