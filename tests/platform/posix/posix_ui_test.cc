// The Linux user interface: UI log lines, loops and timers, keys from a terminal, message
// boxes and the end of the program.
#include "platform/posix/posix_ui.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <new>
#include <system_error>
#include <thread>

#include "common/cp1252.h"
#include "platform/ui_log_capture.h"
#include "support/temp_dir.h"

namespace velmorin::platform {
namespace {

using SteadyClock = std::chrono::steady_clock;

FormSpec TestFormSpec(const std::string& name) {
  FormSpec spec{.name = name, .caption = "Descarga de archivos", .client_width = 5985, .client_height = 1935};
  spec.controls = {
      {.name = "Label10", .kind = ControlKind::kLabel, .rect = {720, 600, 4575, 255}, .text = "+++"},
      {.name = "ProgressBar1", .kind = ControlKind::kProgressBar, .rect = {720, 1110, 5055, 195}},
      {.name = "Timer1", .kind = ControlKind::kTimer, .interval_ms = 1},
      {.name = "Timer2", .kind = ControlKind::kTimer, .interval_ms = 20},
  };
  return spec;
}

struct Pipe {
  Pipe() {
    int fds[2];
    EXPECT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
    read_fd = fds[0];
    write_fd = fds[1];
  }
  ~Pipe() {
    ::close(read_fd);
    ::close(write_fd);
  }
  std::string ReadAll() const {
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(read_fd, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
    return out;
  }
  int read_fd = -1;
  int write_fd = -1;
};

struct Pty {
  Pty() {
    EXPECT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
  }
  ~Pty() {
    ::close(master);
    ::close(slave);
  }
  void Type(const std::string& keys) const {
    EXPECT_EQ(::write(master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  int master = -1;
  int slave = -1;
};

// Runs `body` in a child process (for what ends the process) and returns its exit code.
int ExitCodeOf(const std::function<void()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    body();
    ::_exit(99);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double CpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

class PosixUiTest : public testing::Test {
 protected:
  Pipe input_;
  Pipe output_;
  test_support::UiLogCapture log_;
  std::unique_ptr<Ui> ui_ = MakePosixUi(log_.log(), {.input_fd = input_.read_fd, .output_fd = output_.write_fd});
  Form form_{TestFormSpec("MenorRef")};
};

TEST_F(PosixUiTest, EveryVisibleEffectIsOneUiLogLine) {
  ui_->Load(form_);
  form_.SetText("Label10", "x");
  ui_->Show(form_);
  form_.SetValue("ProgressBar1", 45);
  form_.SetValue("ProgressBar1", 45);
  form_.SetText("MenorRef", "T");
  ui_->Unload(form_);
  ui_->Load(form_);  // a second load attaches nothing more: one line per change
  form_.SetText("Label10", "y");
  ui_->MessageBox(MessageIcon::kCritical, "", Ansi("Línea 1\nLínea 2"));
  ui_->MessageBox(MessageIcon::kInformation, "Error de actualizacion", "OK");
  ui_->ReportRuntimeError(RuntimeError(53, "open C:\\i.bat"));
  EXPECT_EQ(log_.Text(),
            "set\tMenorRef.Label10\tx\n"
            "show\tMenorRef\n"
            "set\tMenorRef.ProgressBar1\t45\n"
            "set\tMenorRef\tT\n"
            "unload\tMenorRef\n"
            "set\tMenorRef.Label10\ty\n"
            "msgbox\tcritical\tCondiciones de dispensación\tLínea 1\\nLínea 2\n"
            "msgbox\tinformation\tError de actualizacion\tOK\n"
            "error\t53\tNo se ha encontrado el archivo\n");
}

TEST_F(PosixUiTest, BoxesAndReportsArePrintedAndDoNotWaitWithoutATerminal) {
  ui_->MessageBox(MessageIcon::kCritical, "", Ansi("Línea 1\nLínea 2"));
  ui_->ReportRuntimeError(RuntimeError(62));
  EXPECT_EQ(output_.ReadAll(),
            "\n[!] Condiciones de dispensación\n    Línea 1\n    Línea 2\n"
            "\n[!] Condiciones de dispensación\n    Se ha producido el error '62' en tiempo de ejecución:\n    \n"
            "    La entrada pasa del final del archivo\n");
}

TEST_F(PosixUiTest, NothingIsDrawnWhenTheOutputIsNotATerminal) {
  ui_->Load(form_);
  ui_->Show(form_);
  form_.SetValue("ProgressBar1", 50);
  ui_->Refresh(form_);
  EXPECT_EQ(output_.ReadAll(), "");
}

TEST_F(PosixUiTest, AModalLoopRunsEnabledTimersUntilUnloadedWithoutSpinning) {
  ui_->Load(form_);
  form_.SetTimerEnabled("Timer1", false);
  int timer1 = 0;
  int timer2 = 0;
  form_.on_timer = [&](const std::string& timer) {
    if (timer == "Timer1") ++timer1;
    if (timer == "Timer2" && ++timer2 == 10) ui_->Unload(form_);
  };
  const auto started = SteadyClock::now();
  const double cpu_started = CpuSeconds();
  ui_->ShowModal(form_);
  const double wall = std::chrono::duration<double>(SteadyClock::now() - started).count();
  EXPECT_EQ(timer1, 0);
  EXPECT_EQ(timer2, 10);
  EXPECT_GE(wall, 0.18);
  EXPECT_LT(CpuSeconds() - cpu_started, wall * 0.3);
  EXPECT_EQ(log_.Text(), "show\tMenorRef\nunload\tMenorRef\n");
}

TEST_F(PosixUiTest, RunEndsTheProgramWithZeroWhenTheStartUpFormIsUnloaded) {
  const int code = ExitCodeOf([&] {
    int ticks = 0;
    form_.on_timer = [&](const std::string& timer) {
      if (timer == "Timer1" && ++ticks == 3) ui_->Unload(form_);
    };
    ui_->Run(form_);
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(log_.Text(), "show\tMenorRef\nunload\tMenorRef\nexit\t0\n");
}

TEST_F(PosixUiTest, WhatATimerLetsOutIsReportedAndEndsWithTwo) {
  const auto end_of_a_timer_that = [&](std::function<void()> fails) {
    std::filesystem::remove(log_.path());
    form_.on_timer = [&](const std::string&) { fails(); };
    return ExitCodeOf([&] { ui_->Run(form_); });
  };
  EXPECT_EQ(end_of_a_timer_that([] { throw RuntimeError(62); }), 2);
  EXPECT_EQ(log_.Text(), "show\tMenorRef\nerror\t62\tLa entrada pasa del final del archivo\nexit\t2\n");
  EXPECT_NE(output_.ReadAll().find("Se ha producido el error '62' en tiempo de ejecución:"), std::string::npos);
  EXPECT_EQ(end_of_a_timer_that([] {
              throw std::filesystem::filesystem_error("is_regular_file",
                                                      std::make_error_code(std::errc::filename_too_long));
            }),
            2);
  EXPECT_EQ(log_.Text(), "show\tMenorRef\nerror\t51\tError interno\nexit\t2\n");
  EXPECT_EQ(end_of_a_timer_that([] { throw std::bad_alloc(); }), 2);
  EXPECT_EQ(log_.Text(), "show\tMenorRef\nerror\t7\tMemoria insuficiente\nexit\t2\n");
}

TEST_F(PosixUiTest, EndProgramEndsAtOnceWithItsCode) {
  EXPECT_EQ(ExitCodeOf([&] { ui_->EndProgram(1); }), 1);
  EXPECT_EQ(ExitCodeOf([&] { ui_->EndProgram(0); }), 0);
  EXPECT_EQ(log_.Text(), "exit\t1\nexit\t0\n");
}

TEST(PosixUiTerminal, KeysGoToTheModalFormAndArrowKeysAreNoEscape) {
  Pty pty;
  Pipe output;
  UiLog no_log("");
  auto ui = MakePosixUi(no_log, {.input_fd = pty.slave, .output_fd = output.write_fd});
  Form startup(TestFormSpec("InicioMR"));
  Form dialog(TestFormSpec("MenorRef"));
  std::vector<int> startup_keys;
  std::vector<int> dialog_keys;
  int ticks = 0;
  startup.on_key_press = [&](int key) { startup_keys.push_back(key); };
  dialog.on_key_press = [&](int key) {
    dialog_keys.push_back(key);
    if (key == 27) ui->Unload(dialog);
  };
  dialog.on_timer = [&](const std::string&) {
    if (++ticks == 2000) ui->Unload(dialog);
  };
  ui->Load(startup);
  ui->Show(startup);
  ui->Load(dialog);
  pty.Type("\x1b[Ax\x1b");
  ui->ShowModal(dialog);
  EXPECT_EQ(dialog_keys, (std::vector<int>{'x', 27}));
  EXPECT_TRUE(startup_keys.empty());
}

TEST(PosixUiTerminal, AMessageBoxWaitsForEnterOnATerminalIgnoringKeysTypedBefore) {
  Pty pty;
  Pipe output;
  UiLog no_log("");
  auto ui = MakePosixUi(no_log, {.input_fd = pty.slave, .output_fd = output.write_fd});
  pty.Type("\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::thread answer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    pty.Type("\n");
  });
  const auto started = SteadyClock::now();
  ui->MessageBox(MessageIcon::kInformation, "T", "text");
  const auto waited = SteadyClock::now() - started;
  answer.join();
  EXPECT_GE(waited, std::chrono::milliseconds(250));
  EXPECT_NE(output.ReadAll().find("pulse Intro"), std::string::npos);
}

TEST(PosixUiTerminal, TheViewRedrawsInPlaceAtMostTenTimesASecond) {
  Pty pty;
  Pipe input;
  UiLog no_log("");
  auto ui = MakePosixUi(no_log, {.input_fd = input.read_fd, .output_fd = pty.slave});
  Form form(TestFormSpec("MenorRef"));
  ui->Load(form);
  ui->Show(form);
  const auto started = SteadyClock::now();
  double seconds = 0;
  for (int i = 1; seconds < 0.3; ++i) {
    form.SetValue("ProgressBar1", i % 101);
    seconds = std::chrono::duration<double>(SteadyClock::now() - started).count();
  }
  std::string drawn;
  char buffer[4096];
  ssize_t n;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  while ((n = ::read(pty.master, buffer, sizeof buffer)) > 0) drawn.append(buffer, static_cast<size_t>(n));
  size_t draws = 0;
  for (size_t at = drawn.find("\x1b[J"); at != std::string::npos; at = drawn.find("\x1b[J", at + 1)) ++draws;
  EXPECT_GE(draws, 2u);
  EXPECT_LE(draws, 2 + static_cast<size_t>(seconds * 10));
  EXPECT_NE(drawn.find("── Descarga de archivos "), std::string::npos);
  EXPECT_NE(drawn.find("+++"), std::string::npos);
  EXPECT_NE(drawn.find("\r\x1b[3A"), std::string::npos) << "a redraw moves back over the caption and 2 rows";
}

}  // namespace
}  // namespace velmorin::platform
