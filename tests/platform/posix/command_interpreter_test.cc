// The cmd stand-in on a real drive tree: splitting, cd, copy, programs and the run's own
// command lines with Debian's arj.
#include "platform/posix/command_interpreter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "common/cp1252.h"
#include "platform/ui_log_capture.h"
#include "test_tree.h"

namespace velmorin::platform {
namespace {

namespace fs = std::filesystem;
using test_support::DriveTree;
using Words = std::vector<std::string>;

// Writes its folder and its arguments, one a line, into "ran.txt" in its folder.
constexpr const char* kRecorder = "#!/bin/sh\npwd > ran.txt\nfor a; do echo \"$a\" >> ran.txt; done\n";

class CommandInterpreterTest : public testing::Test {
 protected:
  void SetUp() override {
    tree_.Folder("C/velmorin/bases");
    tree_.Folder("F/Velmorin/BdNet/soft");
  }
  int Run(const std::string& line) {
    CommandInterpreter interpreter(fs_, messages_, log_.log());
    return interpreter.RunLine(line);
  }

  DriveTree tree_;
  PosixFileSystem fs_{tree_.drives()};
  std::ostringstream messages_;
  test_support::UiLogCapture log_;
};

TEST(CommandInterpreterSplit, CommandsSplitAtAmpersandsOutsideQuotes) {
  const std::vector<std::pair<std::string, Words>> cases = {
      {"cmd /c cd \\velmorin\\ &  arj e a.arj \\velmorin\\bases -y ",
       {"cd \\velmorin\\", "arj e a.arj \\velmorin\\bases -y"}},
      {"CMD.EXE /C a&b", {"a", "b"}},
      {"a & \"b & c\" & ", {"a", "\"b & c\""}},
      {"cmd /k x", {"cmd /k x"}},
      {"  ", {}},
  };
  for (const auto& [line, commands] : cases) EXPECT_EQ(CommandInterpreter::SplitCommands(line), commands) << line;
}

TEST(CommandInterpreterSplit, WordsSplitAtBlanksAndQuotesGroupThem) {
  EXPECT_EQ(CommandInterpreter::SplitWords("copy \"a b.txt\"\tc"), (Words{"copy", "a b.txt", "c"}));
  EXPECT_EQ(CommandInterpreter::SplitWords("x  \"\" y "), (Words{"x", "", "y"}));
}

TEST_F(CommandInterpreterTest, WindowsPathArgumentsBecomeHostPaths) {
  tree_.Folder("F/velmorin/bdnet/temp");
  CommandInterpreter interpreter(fs_, messages_, log_.log());
  const std::string c = tree_.drives().string() + "/C";
  EXPECT_EQ(interpreter.MapArgument("\\VELMORIN\\Bases"), c + "/velmorin/bases");
  EXPECT_EQ(interpreter.MapArgument("\\velmorin\\bases\\"), c + "/velmorin/bases/");
  EXPECT_EQ(interpreter.MapArgument("f:\\velmorin\\bdnet\\temp\\dolvek.arj"),
            tree_.drives().string() + "/F/velmorin/bdnet/temp/dolvek.arj");
  EXPECT_EQ(interpreter.MapArgument("F:new.txt"), tree_.drives().string() + "/F/new.txt");
  EXPECT_EQ(interpreter.MapArgument("-y"), "-y");
  EXPECT_EQ(interpreter.MapArgument("e"), "e");
  EXPECT_EQ(interpreter.MapArgument(Ansi("año")), "año");
}

TEST_F(CommandInterpreterTest, CdChangesOnlyItsOwnFolderAndADriveLetterChangesTheDrive) {
  CommandInterpreter interpreter(fs_, messages_, log_.log());
  EXPECT_EQ(interpreter.RunLine("cmd /c cd F:\\velmorin\\bdnet\\"), 0);
  EXPECT_EQ(interpreter.CurrentFolder(), "F:\\Velmorin\\BdNet");
  EXPECT_EQ(interpreter.RunLine("cmd /c cd soft & cd .."), 0);
  EXPECT_EQ(interpreter.CurrentFolder(), "F:\\Velmorin\\BdNet");
  EXPECT_EQ(fs_.CurrentFolder(), "C:\\");
}

TEST_F(CommandInterpreterTest, AFailingCommandDoesNotStopTheNextOnes) {
  tree_.Write("C/velmorin/rec.sh", kRecorder);
  EXPECT_EQ(Run("cmd /c cd \\nowhere & copy missing.txt \\velmorin & nosuchprogram-xyz & cd \\velmorin & rec.sh"), 0);
  EXPECT_EQ(tree_.Read("C/velmorin/ran.txt"), (tree_.drives() / "C/velmorin").string() + "\n");
  EXPECT_NE(messages_.str().find("El sistema no puede encontrar la ruta especificada."), std::string::npos);
  EXPECT_NE(messages_.str().find("El sistema no puede encontrar el archivo especificado."), std::string::npos);
  EXPECT_NE(messages_.str().find("'nosuchprogram-xyz' no se reconoce como un comando interno o externo"),
            std::string::npos);
}

TEST_F(CommandInterpreterTest, TheLastCommandGivesTheStatus) {
  EXPECT_EQ(Run("cmd /c true & false"), 1);
  EXPECT_EQ(Run("cmd /c false & true"), 0);
  EXPECT_EQ(Run("cmd /c nosuchprogram-xyz"), 9009);
}

TEST_F(CommandInterpreterTest, CopyToAFolderOrWildcardKeepsNameAndPermissions) {
  tree_.Write("C/velmorin/Tool.SH", "#!/bin/sh\n", 0750);
  tree_.Write("C/velmorin/bases/TOOL.sh", "old");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"copy tool.sh \\velmorin\\bases\\*.*", "C/velmorin/bases/TOOL.sh"},  // the existing spelling wins
      {"copy tool.sh F:\\velmorin\\bdnet", "F/Velmorin/BdNet/Tool.SH"},
      {"copy tool.sh F:\\velmorin\\bdnet\\soft\\", "F/Velmorin/BdNet/soft/Tool.SH"},
      {"copy tool.sh \\velmorin\\bases\\renamed.sh", "C/velmorin/bases/renamed.sh"},
  };
  for (const auto& [command, target] : cases) {
    EXPECT_EQ(Run("cmd /c cd \\velmorin & " + command), 0) << command << messages_.str();
    EXPECT_EQ(tree_.Read(target), "#!/bin/sh\n") << command;
    EXPECT_EQ(tree_.Mode(target), 0750) << command;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(tree_.drives() / "C/velmorin/bases"), fs::directory_iterator()), 2);
  EXPECT_NE(messages_.str().find("1 archivo(s) copiado(s)."), std::string::npos);
}

TEST_F(CommandInterpreterTest, CopyIntoAMissingFolderOrOntoItselfFails) {
  tree_.Write("C/velmorin/a.txt", "a");
  EXPECT_EQ(Run("cmd /c cd \\velmorin & copy a.txt \\nowhere\\*.*"), 1);
  EXPECT_EQ(Run("cmd /c cd \\velmorin & copy a.txt \\VELMORIN"), 1);
  EXPECT_EQ(tree_.Read("C/velmorin/a.txt"), "a");
  EXPECT_NE(messages_.str().find("no se puede copiar sobre sí mismo"), std::string::npos);
}

TEST_F(CommandInterpreterTest, AProgramInTheCurrentFolderRunsThereWithMappedArguments) {
  tree_.Write("F/Velmorin/BdNet/Setup.EXE", kRecorder, 0644);
  EXPECT_EQ(Run("cmd /c cd F:\\velmorin\\bdnet & setup.exe e F:\\velmorin\\bdnet\\soft -y \"two words\""), 0);
  const std::string bdnet = (tree_.drives() / "F/Velmorin/BdNet").string();
  EXPECT_EQ(tree_.Read("F/Velmorin/BdNet/ran.txt"), bdnet + "\ne\n" + bdnet + "/soft\n-y\ntwo words\n");
  EXPECT_EQ(tree_.Mode("F/Velmorin/BdNet/Setup.EXE"), 0755);
}

TEST_F(CommandInterpreterTest, ProgramsOnPathAreFoundWithoutTheirExeEnding) {
  const fs::path bin = tree_.Write("bin/recorder-tool", kRecorder, 0755).parent_path();
  const std::string old_path = std::getenv("PATH");
  ::setenv("PATH", (bin.string() + ":" + old_path).c_str(), 1);
  EXPECT_EQ(Run("cmd /c cd \\velmorin & recorder-tool.exe \\velmorin\\bases"), 0);
  ::setenv("PATH", old_path.c_str(), 1);
  EXPECT_EQ(tree_.Read("C/velmorin/ran.txt"),
            (tree_.drives() / "C/velmorin").string() + "\n" + (tree_.drives() / "C/velmorin/bases").string() + "\n");
}

TEST_F(CommandInterpreterTest, AWindowsProgramIsLoggedAsSkippedAndTheLineGoesOn) {
  tree_.Write("C/velmorin/quimbaleta.exe", std::string("MZ\x90\0\3\0", 6));
  tree_.Write("C/velmorin/rec.sh", kRecorder);
  EXPECT_EQ(Run("cmd /c cd \\velmorin & Quimbaleta.exe /s & rec.sh"), 0);
  EXPECT_EQ(log_.Text(), "start\tskipped\tQuimbaleta.exe\tno se puede ejecutar aquí\n");
  EXPECT_TRUE(tree_.Exists("C/velmorin/ran.txt"));
  EXPECT_EQ(tree_.Mode("C/velmorin/quimbaleta.exe"), 0644);
}

TEST(ProgramFiles, ScriptsAndElfImagesAreRunnableOthersAreNot) {
  test_support::TempDir dir;
  EXPECT_TRUE(IsRunnableHere(dir.Write("a", "#!/bin/sh\n")));
  EXPECT_TRUE(IsRunnableHere("/bin/sh"));
  EXPECT_FALSE(IsRunnableHere(dir.Write("b", "MZ\x90")));
  EXPECT_FALSE(IsRunnableHere(dir.Write("c", "#")));
  EXPECT_FALSE(IsRunnableHere(dir.Write("d", "")));
  EXPECT_FALSE(IsRunnableHere(dir.path() / "missing"));
}

class ArjExtractionTest : public CommandInterpreterTest {
 protected:
  void SetUp() override {
    CommandInterpreterTest::SetUp();
    if (!test_support::MakeArjArchive(tree_.drives() / archive_,
                                      {{"dolvek.txt", "1234567 PRODUCTO\r\n"}, {"extra.dat", "x"}})) {
      GTEST_SKIP() << "arj is not installed";
    }
  }
  std::string archive_ = "C/velmorin/bdnet/temp/dolvek.arj";
};

TEST_F(ArjExtractionTest, TheRunsCommandLineWithoutDrivePrefixExtracts) {
  Run("cmd /c cd \\velmorin\\ &  arj e \\velmorin\\bdnet\\temp\\dolvek.arj \\velmorin\\bases -y ");
  EXPECT_EQ(tree_.Read("C/velmorin/bases/dolvek.txt"), "1234567 PRODUCTO\r\n") << messages_.str();
  EXPECT_EQ(tree_.Read("C/velmorin/bases/extra.dat"), "x");
}

TEST_F(ArjExtractionTest, TheRunsCommandLinesWithADrivePrefixExtractAndReplace) {
  fs::create_directories(tree_.drives() / "F/Velmorin/BdNet/Temp");
  fs::copy_file(tree_.drives() / archive_, tree_.drives() / "F/Velmorin/BdNet/Temp/DOLVEK.ARJ");
  fs::create_directories(tree_.drives() / "F/Velmorin/Bases");
  tree_.Write("F/Velmorin/BdNet/dolvek.txt", "old content that is longer");
  Run("cmd /c cd F:\\velmorin\\ &  arj e F:\\velmorin\\bdnet\\temp\\dolvek.arj F:\\velmorin\\bases -y ");
  Run("cmd /c cd F:\\velmorin\\ &  arj e F:\\velmorin\\bdnet\\temp\\dolvek.arj F:\\velmorin\\bdnet -y ");
  EXPECT_EQ(tree_.Read("F/Velmorin/Bases/dolvek.txt"), "1234567 PRODUCTO\r\n") << messages_.str();
  EXPECT_EQ(tree_.Read("F/Velmorin/BdNet/dolvek.txt"), "1234567 PRODUCTO\r\n");
  EXPECT_FALSE(tree_.Exists("C/velmorin/bases/dolvek.txt"));
}

TEST_F(CommandInterpreterTest, TheInstallerLineCopiesAndStartsTheInstallerInBdnet) {
  tree_.Write("F/Velmorin/BdNet/soft/ovt-qe58.exe", kRecorder, 0755);
  Run("cmd /c cd F:\\velmorin\\bdnet\\soft\\ & copy ovt-qe58.exe F:\\velmorin\\bdnet\\*.* & cd F:\\velmorin\\bdnet & "
      "ovt-qe58.exe");
  EXPECT_EQ(tree_.Mode("F/Velmorin/BdNet/ovt-qe58.exe"), 0755);
  EXPECT_EQ(tree_.Read("F/Velmorin/BdNet/ran.txt"), (tree_.drives() / "F/Velmorin/BdNet").string() + "\n");
  EXPECT_FALSE(tree_.Exists("F/Velmorin/BdNet/soft/ran.txt"));
}

}  // namespace
}  // namespace velmorin::platform
