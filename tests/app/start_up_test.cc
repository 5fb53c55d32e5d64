#include "app/start_up.h"

#include <gtest/gtest.h>

#include "common/cp1252.h"
#include "common/runtime_error.h"
#include "support/memory_file_system.h"

namespace velmorin {
namespace {

using test_support::MemoryFileSystem;

struct PrefixCase {
  const char* name;
  std::string batch;
  std::string prefix;
};

class DrivePrefix : public testing::TestWithParam<PrefixCase> {};

TEST_P(DrivePrefix, FromTheDatosSection) {
  MemoryFileSystem fs;
  fs.SetFile("C:\\i.bat", GetParam().batch);
  Channels channels(fs);
  EXPECT_EQ(ReadDrivePrefix(channels), GetParam().prefix);
  EXPECT_FALSE(channels.IsOpen(1));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DrivePrefix,
    testing::Values(PrefixCase{"NoLabel", "@echo off\r\nstart prog\r\n", ""},
                    PrefixCase{"Usual", "@echo off\r\n:DATOS\r\n1\r\nF:\r\nrem\r\n", "F:"},
                    PrefixCase{"LowerCaseLabel", ":datos\r\n1\r\nD:\r\n", "D:"},
                    PrefixCase{"LabelInsideALine", "goto :DATOS_X\r\n1\r\nD:\\algo\r\n", "D:"},
                    PrefixCase{"NinetyNineTakesTheWholeLine", ":DATOS\r\n1\r\n99ZZ\r\n", "99ZZ"},
                    PrefixCase{"ValueNinetyNineRepeats", ":DATOS\r\n99\r\nE:\r\nX:\r\nG:\r\n", "G:"},
                    PrefixCase{"PrefixLineKeepsItsCase", ":DATOS\r\n1\r\nf:\r\n", "f:"},
                    PrefixCase{"LabelAsLastLine", "@echo off\r\n:DATOS\r\n", ""},
                    PrefixCase{"CrOnlyEndings", ":DATOS\r1\rH:\r", "H:"}, PrefixCase{"EmptyFile", "", ""}),
    [](const auto& test) { return std::string(test.param.name); });

int ErrorReading(const std::string& batch, bool present = true) {
  MemoryFileSystem fs;
  if (present) fs.SetFile("C:\\i.bat", batch);
  Channels channels(fs);
  try {
    ReadDrivePrefix(channels);
  } catch (const RuntimeError& e) {
    return e.number();
  }
  return 0;
}

TEST(DrivePrefixErrors, MissingFileAndReadingPastTheEnd) {
  EXPECT_EQ(ErrorReading("", false), 53);
  EXPECT_EQ(ErrorReading(":DATOS\r\n1\r\n"), 62);  // exactly one line after the label
}

TEST(DrivePrefixErrors, TheBatchFileIsAlwaysOnDriveC) {
  MemoryFileSystem fs;
  fs.AddFolder("F:\\");
  fs.SetFile("F:\\i.bat", ":DATOS\r\n1\r\nF:\r\n");
  fs.ChangeDrive("F");
  Channels channels(fs);
  EXPECT_THROW(ReadDrivePrefix(channels), RuntimeError);
}

TEST(PrepareFolders, CreatesOnlyItsThreeFoldersAndDeletesFilesOnly) {
  MemoryFileSystem fs;
  fs.AddFolder("F:\\velmorin\\bdnet\\soft");
  fs.AddFolder("F:\\windows");
  fs.SetFile("F:\\velmorin\\bdnet\\old.txt", "x");
  fs.SetFile("F:\\velmorin\\bdnet\\soft\\ovt-qe58.exe", "installer");
  PrepareFolders(fs, "F:");
  EXPECT_TRUE(fs.HasFolder("F:\\windows\\temp"));
  EXPECT_TRUE(fs.HasFolder("F:\\velmorin\\bdnet\\temp"));
  EXPECT_FALSE(fs.FileExists("F:\\velmorin\\bdnet\\old.txt"));
  EXPECT_TRUE(fs.FileExists("F:\\velmorin\\bdnet\\soft\\ovt-qe58.exe"));
  fs.SetFile("\\x", "on the current drive");
  EXPECT_TRUE(fs.FileExists("F:\\x"));
}

TEST(PrepareFolders, OnlyOneLevelIsCreated) {
  MemoryFileSystem fs;
  fs.AddFolder("F:\\");
  PrepareFolders(fs, "F:");  // neither \windows nor \velmorin exists: nothing is created
  EXPECT_FALSE(fs.HasFolder("F:\\windows\\temp"));
  EXPECT_FALSE(fs.HasFolder("F:\\velmorin\\bdnet"));
}

TEST(PrepareFolders, EmptyPrefixWorksOnTheCurrentDriveAndKeepsIt) {
  MemoryFileSystem fs;
  fs.AddFolder("F:\\");
  fs.AddFolder("C:\\windows");
  PrepareFolders(fs, "");  // \velmorin is missing: bdnet cannot be created, silently
  EXPECT_TRUE(fs.HasFolder("C:\\windows\\temp"));
  EXPECT_FALSE(fs.HasFolder("C:\\velmorin\\bdnet"));
  fs.SetFile("\\y", "");
  EXPECT_TRUE(fs.FileExists("C:\\y"));
}

TEST(Region, TestsRunInOrder) {
  EXPECT_EQ(RegionCodeOf(Ansi("Castilla y León")), "CYL");
  EXPECT_EQ(RegionCodeOf("Castilla-La Mancha"), "CM");
  EXPECT_EQ(RegionCodeOf("Extremadura"), "EX");
  EXPECT_EQ(RegionCodeOf("Comunidad de Madrid"), "MA");
  EXPECT_EQ(RegionCodeOf(Ansi("Andalucía")), "NA");
  EXPECT_EQ(RegionCodeOf("EXTRA MADRID"), "EX");
  EXPECT_EQ(RegionCodeOf(""), "NA");
}

TEST(Region, ReadFromCcaaWithSuffix) {
  MemoryFileSystem fs;
  fs.SetFile("F:\\velmorin\\maximos\\ccaa", Ansi("Castilla y León\r\nCastilla-La Mancha\r\n"));
  Channels channels(fs);
  const Region cyl = DetectRegion(channels, "F:");
  EXPECT_EQ(cyl.code, "CYL");
  EXPECT_EQ(cyl.suffix, "NA");
  EXPECT_FALSE(channels.IsOpen(1));
  const Region missing = DetectRegion(channels, "G:");
  EXPECT_EQ(missing.code, "NA");
  EXPECT_EQ(missing.suffix, "NA");
  fs.SetFile("F:\\velmorin\\maximos\\ccaa", "");
  EXPECT_EQ(DetectRegion(channels, "F:").code, "NA");
  EXPECT_FALSE(channels.IsOpen(1));
}

}  // namespace
}  // namespace velmorin
