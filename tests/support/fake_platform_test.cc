// What only the fakes of fake_platform.h do; what they share with the real platform is in
// the contract suites of tests/platform (file system, clock, user interface).
#include "support/fake_platform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "common/cp1252.h"
#include "support/memory_file_system.h"

namespace velmorin::test_support {
namespace {

using testing::ElementsAre;

FormSpec StartUpSpec() {
  FormSpec spec{.name = "InicioMR"};
  spec.controls = {{.name = "Timer1", .kind = ControlKind::kTimer, .interval_ms = 1},
                   {.name = "Timer2", .kind = ControlKind::kTimer, .interval_ms = 100}};
  return spec;
}

int ExitCodeOfRun(FakeUi& ui, Form& form) {
  try {
    ui.Run(form);
  } catch (const ProgramEnded& end) {
    return end.code;
  }
  return -1;
}

TEST(FakeUi, RunFiresEveryEnabledTimerAndEndsWithZeroOnceTheStartUpFormIsUnloaded) {
  FakeUi ui;
  Form form(StartUpSpec());
  int ticks = 0;
  form.on_timer = [&](const std::string& timer) {
    if (timer == "Timer1") form.SetTimerEnabled("Timer1", false);
    if (timer == "Timer2" && ++ticks == 2) ui.Unload(form);
  };
  EXPECT_EQ(ExitCodeOfRun(ui, form), 0);
  EXPECT_THAT(ui.events, ElementsAre("load InicioMR", "show InicioMR", "unload InicioMR", "exit 0"));
}

TEST(FakeUi, RunReportsWhatATimerLetsOutAndEndsWithTwo) {
  FakeUi ui;
  Form form(StartUpSpec());
  form.on_timer = [](const std::string&) { throw std::out_of_range("x"); };
  EXPECT_EQ(ExitCodeOfRun(ui, form), 2);
  EXPECT_THAT(ui.Matching("e"), ElementsAre("error 51", "exit 2"));
  form.on_timer = [](const std::string&) {};
  EXPECT_THROW(ui.Run(form), std::logic_error) << "a real loop would wait for ever";
}

TEST(FakeClock, SettingTheWallClockMovesOnlyItAndWrapsAtMidnight) {
  FakeClock clock(86399);
  clock.tick = 0;
  const double steady = clock.SteadySeconds();
  clock.StepWall(2);
  EXPECT_DOUBLE_EQ(clock.SecondsSinceMidnight(), 1);
  clock.StepWall(-3);
  EXPECT_DOUBLE_EQ(clock.SecondsSinceMidnight(), 86398);
  EXPECT_DOUBLE_EQ(clock.SteadySeconds(), steady);
}

TEST(FakeProcesses, StartsAreLoggedAndAMissingProgramIsError53) {
  MemoryFileSystem fs;
  FakeUi ui;
  FakeProcesses processes(fs, ui);
  processes.running_checks = 2;
  auto process = processes.StartHidden("cmd /c x");
  EXPECT_TRUE(process->Running());
  EXPECT_TRUE(process->Running());
  EXPECT_FALSE(process->Running());
  fs.SetFile("C:\\tool.exe", "");
  processes.StartFocused("C:\\tool.exe");
  try {
    processes.StartFocused("C:\\none.exe");
    FAIL() << "no error";
  } catch (const RuntimeError& error) {
    EXPECT_EQ(error.number(), 53);
  }
  EXPECT_THAT(ui.events, ElementsAre("start hidden cmd /c x", "start focused C:\\tool.exe"));
}

TEST(FakeDownloads, TransfersFollowTheirScriptAndWriteTheFakeDisk) {
  FakePlatform p;
  p.fs.SetFile("C:\\kept", "old");
  p.downloads.script["http://h/fails"] = {.failed = true, .result = "Error 404"};
  p.downloads.script["http://h/cancelled"] = {.reports = {{.State = 2, .Cancel = true}}};
  const auto fetch = [&](const std::string& url, const std::string& target) {
    auto control = p.platform.make_download_file();
    control->SourceUrl = url;
    control->TargetPath = target;
    control->StartTransfer();
    return std::to_string(control->TransferFailed()) + " " + control->ResultText();
  };
  EXPECT_EQ(fetch("http://h/any", "C:\\new"), "0 OK");
  EXPECT_EQ(p.fs.File("C:\\new"), "");
  EXPECT_EQ(fetch("http://h/fails", "C:\\kept"), "1 Error 404");
  EXPECT_EQ(fetch("http://h/cancelled", "C:\\kept"), "0 " + Ansi("Descarga cancelada por el usuario."));
  EXPECT_EQ(p.fs.File("C:\\kept"), "old");
  EXPECT_EQ(fetch("http://h/any", "C:\\no folder\\x"), "1 La carpeta de destino no existe.");
  EXPECT_THAT(p.downloads.requests,
              ElementsAre("GET http://h/any -> C:\\new", "GET http://h/fails -> C:\\kept",
                          "GET http://h/cancelled -> C:\\kept", "GET http://h/any -> C:\\no folder\\x"));
}

// Two disks set from the same bytes, and a snapshot, each keep their own bytes once one of
// them is written; handles already open see bytes set afterwards.
TEST(MemoryFileSystem, SharedBytesAreCopiedOnTheFirstWrite) {
  const auto bytes = std::make_shared<const std::string>("abcdef");
  MemoryFileSystem a, b;
  a.SetFile("C:\\f", bytes);
  b.SetFile("C:\\f", bytes);
  auto handle = a.Open("C:\\f", platform::OpenMode::kRandom);
  handle->WriteAt(1, std::string("XY"));
  const auto snapshot = a.Snapshot("C:\\f");
  handle->WriteAt(6, std::string("Z"));
  EXPECT_EQ(a.File("C:\\f"), "aXYdefZ");
  EXPECT_EQ(*snapshot, "aXYdef");
  EXPECT_EQ(b.File("C:\\f"), "abcdef");
  EXPECT_EQ(*bytes, "abcdef");
  a.SetFile("C:\\f", "new");
  std::string read(3, '\0');
  EXPECT_EQ(handle->ReadAt(0, read), 3u);
  EXPECT_EQ(read, "new");
}

}  // namespace
}  // namespace velmorin::test_support
