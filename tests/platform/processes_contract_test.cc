// Starting programs, checked on the real implementation of the build and on the fake the
// tests of the run use, so that the fake cannot drift from what the program gets.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "platform/ui_log_capture.h"
#ifdef _WIN32
#include "platform/win32/win32_file_system_fixture.h"
#include "platform/win32/win32_processes.h"
#else
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_processes.h"
#include "platform/posix/test_tree.h"
#endif
#include "support/error_of.h"
#include "support/fake_platform.h"

namespace velmorin {
namespace {

using test_support::ErrorOf;

#ifdef _WIN32
struct NativeProcesses {
  void Folder(const std::string& relative) { fixture.Folder(relative); }
  std::string Started() { return log.Text(); }
  test_support::Win32Fixture fixture;
  test_support::UiLogCapture log;
  std::unique_ptr<platform::Processes> owned = platform::MakeWin32Processes(log.log());
  platform::Processes& processes = *owned;
};
#else
struct NativeProcesses {
  void Folder(const std::string& relative) { tree.Folder("C/" + relative); }
  std::string Started() { return log.Text(); }
  test_support::DriveTree tree;
  platform::PosixFileSystem fs{tree.drives()};
  test_support::UiLogCapture log;
  std::unique_ptr<platform::Processes> owned = platform::MakePosixProcesses(fs, log.log());
  platform::Processes& processes = *owned;
};
#endif

struct FakeProcessesFixture {
  void Folder(const std::string& relative) { fs.AddFolder("C:\\" + relative); }
  std::string Started() {
    std::string lines;
    for (const std::string& line : ui.Matching("start")) lines += line + "\n";
    return lines;
  }
  test_support::MemoryFileSystem fs;
  test_support::FakeUi ui;
  test_support::FakeProcesses fake{fs, ui};
  platform::Processes& processes = fake;
};

template <class F>
class ProcessesContract : public testing::Test {
 protected:
  F fixture_;
};

using Fixtures = testing::Types<NativeProcesses, FakeProcessesFixture>;
TYPED_TEST_SUITE(ProcessesContract, Fixtures);

TYPED_TEST(ProcessesContract, AMissingFocusedProgramIsRunTimeError53AndStartsNothing) {
  this->fixture_.Folder("velmorin\\reparar");
  platform::Processes& processes = this->fixture_.processes;
  EXPECT_EQ(ErrorOf([&] { processes.StartFocused("C:\\velmorin\\reparar\\quimbaleta.exe"); }), 53);
  EXPECT_NE(ErrorOf([&] { processes.StartFocused("C:\\velmorin\\reparar"); }), 0) << "a folder is no program";
  EXPECT_EQ(this->fixture_.Started(), "");
}

TYPED_TEST(ProcessesContract, AHiddenCommandLineWhoseProgramIsMissingStillEnds) {
  this->fixture_.Folder("velmorin");
  auto process = this->fixture_.processes.StartHidden("cmd /c cd \\ &  arj-that-is-not-there e x.arj");
  // A process start under Wine takes a while.
  for (int i = 0; i < 200 && process->Running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(process->Running());
}

}  // namespace
}  // namespace velmorin
