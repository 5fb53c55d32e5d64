// Starting command lines and programs without waiting, on a real drive tree.
#include "platform/posix/posix_processes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "common/runtime_error.h"
#include "platform/ui_log_capture.h"
#include "test_tree.h"

namespace velmorin::platform {
namespace {

namespace fs = std::filesystem;
using test_support::DriveTree;
using SteadyClock = std::chrono::steady_clock;

bool WaitUntilEnded(Process& process, double seconds) {
  const auto end = SteadyClock::now() + std::chrono::duration<double>(seconds);
  while (process.Running()) {
    if (SteadyClock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class PosixProcessesTest : public testing::Test {
 protected:
  void SetUp() override { tree_.Folder("C/velmorin/bases"); }

  DriveTree tree_;
  PosixFileSystem fs_{tree_.drives()};
  test_support::UiLogCapture log_;
  std::unique_ptr<Processes> processes_ = MakePosixProcesses(fs_, log_.log());
};

TEST_F(PosixProcessesTest, AHiddenCommandLineRunsWithoutBeingWaitedFor) {
  tree_.Write("C/velmorin/slow.sh", "#!/bin/sh\nsleep 1\necho done > mark.txt\n");
  const std::string line = "cmd /c cd \\velmorin\\ & slow.sh";
  const auto started = SteadyClock::now();
  auto process = processes_->StartHidden(line);
  EXPECT_LT(SteadyClock::now() - started, std::chrono::milliseconds(500));
  EXPECT_TRUE(process->Running());
  EXPECT_FALSE(tree_.Exists("C/velmorin/mark.txt"));
  ASSERT_TRUE(WaitUntilEnded(*process, 10));
  EXPECT_FALSE(process->Running());
  EXPECT_EQ(tree_.Read("C/velmorin/mark.txt"), "done\n");
  EXPECT_EQ(log_.Text(), "start\thidden\tcmd /c cd \\velmorin\\ & slow.sh\n");
}

TEST_F(PosixProcessesTest, HiddenOutputGoesToTheCommandLogWhenOneIsNamed) {
  const fs::path log = tree_.drives() / "commands.log";
  auto process = MakePosixProcesses(fs_, log_.log(), log.string())->StartHidden("cmd /c echo hola & nosuchprogram-xyz");
  ASSERT_TRUE(WaitUntilEnded(*process, 10));
  const std::string text = test_support::ReadFileBytes(log);
  EXPECT_NE(text.find("hola\n"), std::string::npos) << text;
  EXPECT_NE(text.find("'nosuchprogram-xyz' no se reconoce"), std::string::npos) << text;
}

TEST_F(PosixProcessesTest, BothExtractionsRunAtOnceOnTheSameArchive) {
  tree_.Folder("F/velmorin/bases");
  tree_.Folder("F/velmorin/bdnet");
  if (!test_support::MakeArjArchive(tree_.drives() / "F/velmorin/bdnet/temp/dolvek.arj", {{"dolvek.txt", "abc\r\n"}})) {
    GTEST_SKIP() << "arj is not installed";
  }
  auto first = processes_->StartHidden(
      "cmd /c cd F:\\velmorin\\ &  arj e F:\\velmorin\\bdnet\\temp\\dolvek.arj F:\\velmorin\\bases -y ");
  auto second = processes_->StartHidden(
      "cmd /c cd F:\\velmorin\\ &  arj e F:\\velmorin\\bdnet\\temp\\dolvek.arj F:\\velmorin\\bdnet -y ");
  ASSERT_TRUE(WaitUntilEnded(*first, 20));
  ASSERT_TRUE(WaitUntilEnded(*second, 20));
  EXPECT_EQ(tree_.Read("F/velmorin/bases/dolvek.txt"), "abc\r\n");
  EXPECT_EQ(tree_.Read("F/velmorin/bdnet/dolvek.txt"), "abc\r\n");
}

TEST_F(PosixProcessesTest, AFocusedProgramRunsInTheRunsCurrentFolderEvenWithoutItsRunBit) {
  tree_.Write("F/velmorin/reparar/Quimbaleta.exe",
              "#!/bin/sh\nd=$(dirname \"$0\")\npwd > \"$d/ran.tmp\" && mv \"$d/ran.tmp\" \"$d/ran.txt\"\n", 0600);
  tree_.Folder("F/velmorin/bdnet");
  fs_.ChangeDrive("F");
  fs_.ChangeFolder("F:\\velmorin\\bdnet");
  const auto started = SteadyClock::now();
  processes_->StartFocused("F:\\velmorin\\reparar\\quimbaleta.exe");
  EXPECT_LT(SteadyClock::now() - started, std::chrono::milliseconds(500));
  ASSERT_TRUE(test_support::WaitForFile(tree_.drives() / "F/velmorin/reparar/ran.txt", 10));
  EXPECT_EQ(tree_.Mode("F/velmorin/reparar/Quimbaleta.exe"), 0700);
  EXPECT_EQ(log_.Text(), "start\tfocused\tF:\\velmorin\\reparar\\quimbaleta.exe\n");
  EXPECT_EQ(tree_.Read("F/velmorin/reparar/ran.txt"), (tree_.drives() / "F/velmorin/bdnet").string() + "\n");
}

TEST_F(PosixProcessesTest, AFocusedWindowsProgramIsLoggedAndSkipped) {
  tree_.Write("C/velmorin/setup.exe", "MZ\x90");
  fs_.ChangeFolder("\\velmorin");
  processes_->StartFocused("SETUP.EXE");
  EXPECT_EQ(log_.Text(),
            "start\tfocused\tSETUP.EXE\n"
            "start\tskipped\tSETUP.EXE\tno se puede ejecutar aquí\n");
}

}  // namespace
}  // namespace velmorin::platform
