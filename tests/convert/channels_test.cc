#include "convert/channels.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/runtime_error.h"
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

}  // namespace
}  // namespace velmorin
