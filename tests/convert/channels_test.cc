#include "convert/channels.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/runtime_error.h"
#include "convert/channel_scope.h"
#include "support/error_of.h"
#include "support/memory_file_system.h"

namespace velmorin {
namespace {

using test_support::MemoryFileSystem;

using test_support::ErrorOf;

TEST(Channels, CloseBeforeOpenAndCloseAll) {
  MemoryFileSystem fs;
  fs.AddFolder("C:\\v");
  Channels ch(fs);
  ch.Close(6);  // closing a channel that is not open does nothing
  ch.OpenRecords(6, "\\v\\basey", 128);
  EXPECT_EQ(ErrorOf([&] { ch.OpenRecords(6, "\\v\\basey", 128); }), 55);
  ch.Close(6);
  ch.OpenRecords(6, "\\v\\basey", 128);
  ch.OpenRecords(3, "\\v\\basea", 62);
  ch.CloseAll();
  EXPECT_FALSE(ch.IsOpen(3));
  EXPECT_FALSE(ch.IsOpen(6));
  EXPECT_EQ(ErrorOf([&] { ch.Records(6); }), 52);
  EXPECT_EQ(ErrorOf([&] { ch.OpenRecords(0, "\\v\\x", 1); }), 52);
  EXPECT_EQ(ErrorOf([&] { ch.OpenRecords(512, "\\v\\x", 1); }), 52);
}

TEST(Channels, TextInputAndOutput) {
  MemoryFileSystem fs;
  fs.AddFolder("C:\\v");
  Channels ch(fs);
  EXPECT_EQ(ErrorOf([&] { ch.OpenInput(1, "\\v\\missing.txt"); }), 53);
  EXPECT_EQ(ErrorOf([&] { ch.OpenInput(1, "\\nofolder\\x.txt"); }), 76);
  EXPECT_FALSE(ch.IsOpen(1));

  TextOutput& out = ch.OpenOutput(1, "\\v\\origen");
  out.WriteLine("A");
  out.WriteLine("");
  ch.Close(1);
  EXPECT_EQ(fs.File("\\v\\origen"), "A\r\n\r\n");

  TextInput& in = ch.OpenInput(1, "\\V\\ORIGEN");
  EXPECT_EQ(in.LineInput(), "A");
  EXPECT_EQ(in.LineInput(), "");
  EXPECT_TRUE(in.AtEnd());
  EXPECT_EQ(ErrorOf([&] { in.LineInput(); }), 62);
}

TEST(Channels, OutputTruncatesAnExistingFile) {
  MemoryFileSystem fs;
  fs.SetFile("C:\\v\\list.txt", "old content");
  Channels ch(fs);
  ch.OpenOutput(1, "\\v\\list.txt");
  ch.Close(1);
  EXPECT_EQ(fs.FileLength("\\v\\list.txt"), 0u);
}

// A share that went away: every write fails.
class BrokenShare : public MemoryFileSystem {
 public:
  class File : public platform::RandomFile {
   public:
    explicit File(std::unique_ptr<platform::RandomFile> file) : file_(std::move(file)) {}
    size_t ReadAt(uint64_t offset, std::span<char> out) override { return file_->ReadAt(offset, out); }
    void WriteAt(uint64_t, std::span<const char>) override { throw RuntimeError(err::kDeviceIoError); }
    uint64_t Size() override { return file_->Size(); }
    bool Remote() override { return true; }
    std::unique_ptr<platform::RandomFile> Reopen() override { return std::make_unique<File>(file_->Reopen()); }

   private:
    std::unique_ptr<platform::RandomFile> file_;
  };
  std::unique_ptr<platform::RandomFile> Open(const std::string& path, platform::OpenMode mode) override {
    return std::make_unique<File>(MemoryFileSystem::Open(path, mode));
  }
};

// A write still on its way to the share fails after the routine has gone on: closing its
// channel throws the failure, and so does the routine's scope, unless it is already failing.
TEST(Channels, AWriteThatFailsOnAShareIsThrownWhenItsChannelCloses) {
  BrokenShare fs;
  Channels channels(fs);
  channels.OpenRecords(3, "\\f", 4).Write(1, std::string("abcd"));
  EXPECT_EQ(ErrorOf([&] { channels.Close(3); }), err::kDeviceIoError);
  EXPECT_FALSE(channels.IsOpen(3));
  auto routine = [&](bool fails) {
    ChannelScope scope(channels, {3});
    scope.Records(3, "\\f", 4).Write(1, std::string("abcd"));
    if (fails) throw RuntimeError(err::kBadRecordNumber);
  };
  EXPECT_EQ(ErrorOf([&] { routine(false); }), err::kDeviceIoError);
  EXPECT_EQ(ErrorOf([&] { routine(true); }), err::kBadRecordNumber);
  EXPECT_FALSE(channels.IsOpen(3));
}

}  // namespace
}  // namespace velmorin
