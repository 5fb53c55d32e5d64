// What only the Windows file system shows: sharing with another program's handle, and the
// per-drive current folders.
#include "platform/win32/win32_file_system.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <functional>

#include "common/cp1252.h"
#include "common/runtime_error.h"
#include "platform/win32/win32_file_system_fixture.h"
#include "support/error_of.h"

namespace velmorin {
namespace {

using platform::OpenMode;

using test_support::ErrorOf;

// A handle such as the back-office program keeps on a record file.
HANDLE OpenLikeOtherProgram(const wchar_t* path, DWORD share) {
  return ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS, 0, nullptr);
}

class Win32FileSystemTest : public testing::Test {
 protected:
  test_support::Win32Fixture fixture_;
  platform::FileSystem& fs_ = fixture_.fs;
};

TEST_F(Win32FileSystemTest, RecordFileHeldOpenByAnotherProgramCanBeReadAndWritten) {
  fixture_.Folder("quorra");
  const HANDLE other = OpenLikeOtherProgram(L"C:\\quorra\\basey", FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  DWORD put = 0;
  ASSERT_TRUE(::WriteFile(other, "0123456789", 10, &put, nullptr));

  auto file = fs_.Open("\\QUORRA\\BASEY", OpenMode::kRandom);
  std::string got(4, '\0');
  EXPECT_EQ(file->ReadAt(3, got), 4u);
  EXPECT_EQ(got, "3456");
  file->WriteAt(8, std::string("ABCD"));
  EXPECT_EQ(file->Size(), 12u);
  // The other program sees our bytes at once: nothing is buffered or locked.
  char seen[12] = {};
  DWORD read = 0;
  ::SetFilePointer(other, 0, nullptr, FILE_BEGIN);
  ASSERT_TRUE(::ReadFile(other, seen, sizeof seen, &read, nullptr));
  EXPECT_EQ(std::string(seen, read), "01234567ABCD");
  ::CloseHandle(other);
}

// The prefix declares F: a network drive, as a pharmacy's mapped share: its record files go
// through the overlapped writes. (Wine takes the type only of a drive F: that existed when the
// Wine server started: tools/test-wine.sh sees to it.)
TEST_F(Win32FileSystemTest, FilesOnANetworkDriveSayRemote) {
  EXPECT_TRUE(fs_.Open("F:\\basey", OpenMode::kRandom)->Remote());
  EXPECT_FALSE(fs_.Open("C:\\basey", OpenMode::kRandom)->Remote());
}

TEST_F(Win32FileSystemTest, FileHeldWithoutWriteSharingIsAnAccessError) {
  fixture_.Folder("quorra");
  const HANDLE other = OpenLikeOtherProgram(L"C:\\quorra\\basea", FILE_SHARE_READ);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ErrorOf([&] { fs_.Open("\\quorra\\basea", OpenMode::kRandom); }), 75);
  EXPECT_EQ(ErrorOf([&] { fs_.Open("\\quorra\\basea", OpenMode::kOutput); }), 75);
  ::CloseHandle(other);
}

TEST_F(Win32FileSystemTest, OutputTruncatesAndInputIsReadOnly) {
  fs_.Open("\\f.txt", OpenMode::kOutput)->WriteAt(0, std::string("long content"));
  fs_.Open("\\f.txt", OpenMode::kOutput)->WriteAt(0, std::string("ab"));
  EXPECT_EQ(fs_.FileLength("C:\\F.TXT"), 2u);
  auto input = fs_.Open("\\f.txt", OpenMode::kInput);
  EXPECT_NE(ErrorOf([&] { input->WriteAt(0, std::string("x")); }), 0);
}

TEST_F(Win32FileSystemTest, DeleteFilesMatchesWildcardsInTheLastPart) {
  fixture_.Folder("d\\sub.txt");
  for (const char* name : {"\\d\\a.txt", "\\d\\b.TXT", "\\d\\abc", "\\d\\keep.dat"}) {
    fs_.Open(name, OpenMode::kOutput);
  }
  fs_.DeleteFiles("\\d\\*.txt");
  EXPECT_FALSE(fs_.FileExists("\\d\\a.txt"));
  EXPECT_FALSE(fs_.FileExists("\\d\\b.txt"));
  EXPECT_TRUE(fs_.FileExists("\\d\\abc"));
  fs_.DeleteFiles("\\d\\a?c");
  EXPECT_FALSE(fs_.FileExists("\\d\\abc"));
  EXPECT_TRUE(fs_.FileExists("\\d\\keep.dat"));
  EXPECT_EQ(ErrorOf([&] { fs_.DeleteFiles("\\d\\*.txt"); }), 53);  // a folder named sub.txt does not count
}

TEST_F(Win32FileSystemTest, EachDriveKeepsItsOwnCurrentFolder) {
  fixture_.Folder("on-w");
  std::filesystem::create_directories("F:\\on-f");
  fs_.ChangeFolder("C:\\on-w");
  // A folder on another drive becomes that drive's current folder; the drive stays.
  fs_.ChangeFolder("F:\\on-f");
  fs_.Open("here", OpenMode::kOutput);
  EXPECT_TRUE(std::filesystem::exists("C:\\on-w\\here"));
  fs_.ChangeDrive("f");
  fs_.Open("there", OpenMode::kOutput);
  EXPECT_TRUE(std::filesystem::exists("F:\\on-f\\there"));
  fs_.ChangeDrive("C:\\anything");
  EXPECT_TRUE(fs_.FileExists("here"));
}

TEST_F(Win32FileSystemTest, RenameReplacesATargetThatOthersShareForDeletion) {
  fs_.Open("\\new", OpenMode::kOutput)->WriteAt(0, std::string("new"));
  fs_.Open("\\old", OpenMode::kOutput)->WriteAt(0, std::string("old content"));
  fs_.Rename("\\new", "\\old");
  EXPECT_EQ(fs_.FileLength("\\old"), 3u);
  EXPECT_FALSE(fs_.FileExists("\\new"));
  EXPECT_EQ(ErrorOf([&] { fs_.RemoveFile("\\"); }), 53);
}

TEST_F(Win32FileSystemTest, AccentedNamesReachTheDisk) {
  fs_.MakeFolder(Ansi("\\Información"));
  fs_.Open(Ansi("\\INFORMACIÓN\\año"), OpenMode::kOutput)->WriteAt(0, std::string("x"));
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(L"C:\\Información\\año")));
}

}  // namespace
}  // namespace velmorin
