// What only the Linux file system does: the host spelling of paths.
#include "platform/posix/posix_file_system.h"

#include <gtest/gtest.h>

#include "common/cp1252.h"
#include "common/runtime_error.h"
#include "support/temp_dir.h"

namespace velmorin::platform {
namespace {

namespace fs = std::filesystem;

TEST(PosixFileSystem, ExistingEntriesKeepTheirSpellingNewOnesTakeTheGivenOne) {
  test_support::TempDir dir;
  fs::create_directories(dir.path() / "F" / "Velmorin" / "quorra");
  PosixFileSystem files(dir.path());
  EXPECT_EQ(files.HostPath("f:\\VELMORIN\\QUORRA\\BaseP"), dir.path() / "F" / "Velmorin" / "quorra" / "BaseP");
  EXPECT_EQ(files.HostPath("F:/velmorin/./x/../quorra"), dir.path() / "F" / "Velmorin" / "quorra");
}

TEST(PosixFileSystem, AccentedNamesMatchIgnoringCase) {
  test_support::TempDir dir;
  fs::create_directories(dir.path() / "C" / "Información");
  PosixFileSystem files(dir.path());
  EXPECT_EQ(files.HostPath(Ansi("\\INFORMACIÓN\\a")), dir.path() / "C" / "Información" / "a");
}

TEST(PosixFileSystem, CurrentFolderIsAWindowsPath) {
  test_support::TempDir dir;
  fs::create_directories(dir.path() / "F" / "velmorin" / "bdnet");
  PosixFileSystem files(dir.path());
  EXPECT_EQ(files.CurrentFolder(), "C:\\");
  files.ChangeDrive("F");
  files.ChangeFolder("\\VELMORIN\\BDNET");
  EXPECT_EQ(files.CurrentFolder(), "F:\\velmorin\\bdnet");
}

TEST(PosixFileSystem, ANameTooLongForTheHostIsARunTimeError) {
  test_support::TempDir dir;
  fs::create_directories(dir.path() / "C");
  PosixFileSystem files(dir.path());
  const std::string name = "\\" + std::string(300, 'x');
  EXPECT_THROW(files.RemoveFile(name), RuntimeError);
  EXPECT_THROW(files.Rename(name, "\\y"), RuntimeError);
  EXPECT_THROW(files.Open(name, OpenMode::kRandom), RuntimeError);
  EXPECT_FALSE(files.FileExists(name));
}

TEST(PosixFileSystem, DrivesRootComesFromTheEnvironment) {
  EXPECT_EQ(DrivesRoot(Environment({{"VELMORIN_DRIVES", "/tmp/some-drives"}})), fs::path("/tmp/some-drives"));
  EXPECT_EQ(DrivesRoot(Environment()), fs::current_path() / "drives");
}

}  // namespace
}  // namespace velmorin::platform
