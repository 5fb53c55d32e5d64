// A small pharmacy for end-to-end runs of the real program: a drive tree (C:\i.bat pointing
// at F:, the record files of three products), the three web sites' folders with every file
// the run fetches (a real dolvek.arj made with Debian's arj), and stand-ins for the tools
// that leave a mark when they run.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "support/temp_dir.h"

namespace velmorin::test_support {

class Pharmacy {
 public:
  // Products: 712345 in record 101, 654321 in record 102, 400001 in record 103.
  explicit Pharmacy(const std::string& region_name);

  std::filesystem::path drives() const { return dir_.path() / "drives"; }
  std::filesystem::path site(const std::string& name) const { return dir_.path() / "sites" / name; }
  std::filesystem::path F(const std::string& relative) const { return drives() / "F" / relative; }
  std::filesystem::path ui_log() const { return dir_.path() / "ui.log"; }

  void WriteSiteFile(const std::string& site_name, const std::string& path, const std::string& bytes) const;
  std::string Record(const std::string& relative, size_t length, int64_t n) const;

 private:
  void MakeDrives(const std::string& region_name);
  void MakeRecordFiles();
  void MakeSites();
  void MakeArchive();

  TempDir dir_;
};

// The lines the sites serve, for checks.
std::string ProductLine();  // dolvek.txt's line for 712345
std::string SerializationLine();

}  // namespace velmorin::test_support
