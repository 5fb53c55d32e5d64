// The same file-system behaviour checked on the real Linux implementation and on the
// in-memory fake, so that the fake cannot drift from what the program gets.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/runtime_error.h"
#include "convert/shared_drive_file.h"
#ifdef _WIN32
#include "platform/win32/win32_file_system_fixture.h"
#else
#include "platform/posix/posix_file_system.h"
#endif
#include "support/error_of.h"
#include "support/memory_file_system.h"
#include "support/share_file_system.h"
#include "support/temp_dir.h"

namespace velmorin {
namespace {

using platform::OpenMode;

#ifdef _WIN32
using NativeFixture = test_support::Win32Fixture;
#else
struct PosixFixture {
  PosixFixture() : fs(dir.path()) {
    std::filesystem::create_directories(dir.path() / "C");
    std::filesystem::create_directories(dir.path() / "F");
  }
  void Folder(const std::string& relative_to_c) {
    std::filesystem::create_directories(dir.path() / "C" / relative_to_c);
  }
  test_support::TempDir dir;
  platform::PosixFileSystem fs;
};
using NativeFixture = PosixFixture;
#endif

struct MemoryFixture {
  MemoryFixture() { fs.AddFolder("F:\\"); }
  void Folder(const std::string& relative_to_c) { fs.AddFolder("C:\\" + relative_to_c); }
  test_support::MemoryFileSystem fs;
};

template <class F>
class FileSystemContract : public testing::Test {
 protected:
  static int ErrorOf(const std::function<void()>& f) { return test_support::ErrorOf(f); }
  std::string ReadAll(const std::string& path) {
    auto file = fixture_.fs.Open(path, OpenMode::kInput);
    std::string bytes(file->Size(), '\0');
    file->ReadAt(0, bytes);
    return bytes;
  }
  void WriteAll(const std::string& path, const std::string& bytes) {
    fixture_.fs.Open(path, OpenMode::kOutput)->WriteAt(0, bytes);
  }
  F fixture_;
};

using Fixtures = testing::Types<NativeFixture, MemoryFixture>;
TYPED_TEST_SUITE(FileSystemContract, Fixtures);

TYPED_TEST(FileSystemContract, OpenModes) {
  auto& fs = this->fixture_.fs;
  this->fixture_.Folder("velmorin/quorra");
  EXPECT_EQ(this->ErrorOf([&] { fs.Open("\\velmorin\\quorra\\nothing.txt", OpenMode::kInput); }), 53);
  EXPECT_EQ(this->ErrorOf([&] { fs.Open("\\velmorin\\nofolder\\basey", OpenMode::kRandom); }), 76);
  EXPECT_EQ(this->ErrorOf([&] { fs.Open("\\velmorin\\quorra", OpenMode::kRandom); }), 75);
  auto file = fs.Open("C:\\Velmorin\\Quorra\\basey", OpenMode::kRandom);
  file->WriteAt(4, std::string("ab"));
  EXPECT_EQ(file->Size(), 6u);
  EXPECT_EQ(this->ReadAll("\\VELMORIN\\QUORRA\\BASEY"), std::string("\0\0\0\0ab", 6));
  this->WriteAll("\\velmorin\\quorra\\basey", "z");
  EXPECT_EQ(fs.FileLength("\\velmorin\\quorra\\BASEY"), 1u);
  EXPECT_TRUE(fs.FileExists("c:\\velmorin\\quorra\\basey"));
  EXPECT_FALSE(fs.FileExists("c:\\velmorin\\quorra"));
  EXPECT_EQ(this->ErrorOf([&] { fs.FileLength("\\velmorin\\none"); }), 53);
}

TYPED_TEST(FileSystemContract, TwoOpenHandlesShareTheFile) {
  auto& fs = this->fixture_.fs;
  this->fixture_.Folder("d");
  auto a = fs.Open("\\d\\f", OpenMode::kRandom);
  auto b = fs.Open("\\d\\f", OpenMode::kRandom);
  a->WriteAt(0, std::string("hello"));
  std::string got(5, '\0');
  EXPECT_EQ(b->ReadAt(0, got), 5u);
  EXPECT_EQ(got, "hello");
}

// A second handle for a worker thread reaches the same file after the current folder moved.
TYPED_TEST(FileSystemContract, ReopenGivesAnotherHandleOnTheFile) {
  auto& fs = this->fixture_.fs;
  this->fixture_.Folder("d");
  this->fixture_.Folder("e");
  fs.ChangeFolder("\\d");
  auto a = fs.Open("f", OpenMode::kRandom);
  EXPECT_FALSE(a->Remote());
  fs.ChangeFolder("\\e");
  auto b = a->Reopen();
  ASSERT_NE(b, nullptr);
  b->WriteAt(2, std::string("xy"));
  EXPECT_EQ(a->Size(), 4u);
  EXPECT_EQ(this->ReadAll("\\d\\f"), std::string("\0\0xy", 4));
}

// The same handles on a share of 2 ms a call: the writes are in flight together and land as
// written in order.
TYPED_TEST(FileSystemContract, WritesOnAShareOverlap) {
  this->fixture_.Folder("d");
  test_support::ShareFileSystem share(this->fixture_.fs, {std::chrono::milliseconds(2), 100e6, false});
  std::string expected(64 * 8, '\0');
  {
    SharedDriveFile file(share.Open("\\d\\f", OpenMode::kRandom));
    for (int i = 0; i < 64; ++i) {
      const std::string record(8, static_cast<char>('A' + i % 26));
      file.WriteAt((i * 37 % 64) * 8u, record);
      expected.replace((i * 37 % 64) * 8u, 8, record);
    }
    file.WriteAt(0, std::string("last"));
    expected.replace(0, 4, "last");
    file.Finish();
  }
  EXPECT_EQ(this->ReadAll("\\d\\f"), expected);
  EXPECT_GE(share.counts().peak_writes_in_flight.load(), 4);
}

TYPED_TEST(FileSystemContract, RenameReplacesAndRemoveFileDeletes) {
  auto& fs = this->fixture_.fs;
  this->fixture_.Folder("d");
  this->WriteAll("\\d\\new.tmp", "new");
  this->WriteAll("\\d\\target", "old");
  fs.Rename("\\d\\new.tmp", "\\D\\TARGET");
  EXPECT_EQ(this->ReadAll("\\d\\target"), "new");
  EXPECT_FALSE(fs.FileExists("\\d\\new.tmp"));
  EXPECT_EQ(this->ErrorOf([&] { fs.Rename("\\d\\new.tmp", "\\d\\x"); }), 53);
  fs.RemoveFile("\\d\\target");
  EXPECT_FALSE(fs.FileExists("\\d\\target"));
  EXPECT_EQ(this->ErrorOf([&] { fs.RemoveFile("\\d\\target"); }), 53);
}

TYPED_TEST(FileSystemContract, Folders) {
  auto& fs = this->fixture_.fs;
  fs.MakeFolder("\\velmorin");
  EXPECT_EQ(this->ErrorOf([&] { fs.MakeFolder("\\VELMORIN"); }), 75);
  EXPECT_EQ(this->ErrorOf([&] { fs.MakeFolder("\\a\\b"); }), 76);
  fs.MakeFolder("F:\\windows");
  EXPECT_EQ(this->ErrorOf([&] { fs.MakeFolder("Q:\\windows"); }), 76);
}

TYPED_TEST(FileSystemContract, DeleteFilesRemovesFilesOnly) {
  auto& fs = this->fixture_.fs;
  this->fixture_.Folder("v/bdnet/temp");
  this->WriteAll("\\v\\bdnet\\a.txt", "1");
  this->WriteAll("\\v\\bdnet\\noext", "2");
  EXPECT_EQ(this->ErrorOf([&] { fs.DeleteFiles("\\v\\bdnet\\temp\\*.*"); }), 53);
  fs.DeleteFiles("\\V\\BDNET\\*.*");
  EXPECT_FALSE(fs.FileExists("\\v\\bdnet\\a.txt"));
  EXPECT_FALSE(fs.FileExists("\\v\\bdnet\\noext"));
  this->WriteAll("\\v\\bdnet\\temp\\x", "3");  // the sub-folder survived
  EXPECT_EQ(this->ErrorOf([&] { fs.DeleteFiles("\\v\\missing\\*.*"); }), 76);
}

TYPED_TEST(FileSystemContract, CurrentDriveAndFolder) {
  auto& fs = this->fixture_.fs;
  EXPECT_EQ(this->ErrorOf([&] { fs.ChangeDrive("\\velmorin"); }), 68);
  EXPECT_EQ(this->ErrorOf([&] { fs.ChangeDrive("Q"); }), 68);
  fs.MakeFolder("F:\\velmorin");
  fs.ChangeDrive("F:\\velmorin");
  this->WriteAll("\\velmorin\\on-f", "f");
  EXPECT_EQ(this->ReadAll("F:\\velmorin\\on-f"), "f");
  EXPECT_EQ(this->ErrorOf([&] { fs.ChangeFolder("F:\\nothing"); }), 76);
  fs.ChangeFolder("F:\\VELMORIN");
  this->WriteAll("origen", "o");
  EXPECT_EQ(this->ReadAll("F:\\velmorin\\origen"), "o");
  EXPECT_EQ(this->ReadAll("..\\velmorin\\origen"), "o");
}

}  // namespace
}  // namespace velmorin
