// Starting programs on Windows: the hidden command line really runs through cmd.exe and is
// not waited for; a program file starts in the current folder.
#include "platform/win32/win32_processes.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "common/runtime_error.h"
#include "platform/ui_log_capture.h"
#include "platform/win32/win32_file_system_fixture.h"
#include "platform/win32/wine_test_env.h"
#include "support/temp_dir.h"

namespace velmorin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Waits for a condition for up to ten seconds (a process start under Wine is slow).
template <class F>
bool Eventually(F condition) {
  for (int i = 0; i < 200; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return condition();
}

class Win32ProcessesTest : public testing::Test {
 protected:
  test_support::Win32Fixture fixture_;
  test_support::UiLogCapture log_;
  std::unique_ptr<platform::Processes> processes_ = platform::MakeWin32Processes(log_.log());
  const fs::path helper_ = test_support::WineTestEnv::Get().helper();
};

TEST_F(Win32ProcessesTest, HiddenCommandLineRunsEveryPartAndIsNotWaitedFor) {
  fixture_.Folder("bin");
  fs::copy_file(helper_, "C:\\bin\\slow.exe");
  // Like the run's lines: change folder, then a program found there, chained with "&".
  const auto start = std::chrono::steady_clock::now();
  auto process =
      processes_->StartHidden("cmd /c cd \\bin\\ &  slow.exe 1500 C:\\out.txt fin & slow.exe 0 C:\\second.txt");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_TRUE(process->Running());
  EXPECT_FALSE(fs::exists("C:\\out.txt"));
  ASSERT_TRUE(Eventually([&] { return !process->Running(); }));
  EXPECT_EQ(test_support::ReadFileBytes("C:\\out.txt"), "fin\nC:\\bin\n");
  EXPECT_TRUE(fs::exists("C:\\second.txt"));
}

TEST_F(Win32ProcessesTest, FocusedProgramStartsInTheCurrentFolder) {
  fixture_.Folder("velmorin\\bdnet");
  fs::copy_file(helper_, "C:\\velmorin\\bdnet\\Tool.exe");
  fixture_.fs.ChangeFolder("\\velmorin\\bdnet");
  processes_->StartFocused("tool.exe");
  ASSERT_TRUE(Eventually([] { return fs::exists("C:\\velmorin\\bdnet\\started.txt"); }));
  EXPECT_TRUE(Eventually([] {
    return test_support::ReadFileBytes("C:\\velmorin\\bdnet\\started.txt") == "started\nC:\\velmorin\\bdnet\n";
  }));
  EXPECT_EQ(log_.Text(), "start\tfocused\ttool.exe\n");
}

}  // namespace
}  // namespace velmorin
