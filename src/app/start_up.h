// The first stages of the run: the drive prefix from C:\i.bat, the folders under the base
// folder, and the region from ccaa.
#pragma once

#include <string>

#include "convert/channels.h"
#include "platform/file_system.h"

namespace velmorin {

// The ":DATOS" section of C:\i.bat: the second line after the label gives the prefix (its
// first two characters, or the whole line when they are "99"); a line after the label whose
// value is 99 repeats the handling. No label: empty. Errors are not trapped (53 without
// the file, 62 when the label is followed by exactly one line).
std::string ReadDrivePrefix(Channels& channels);

// Creates \windows\temp, \velmorin\bdnet and \velmorin\bdnet\temp, empties the two bdnet
// folders of files, and makes the prefix's drive current. Each step that fails is skipped.
void PrepareFolders(platform::FileSystem& fs, const std::string& drive_prefix);

struct Region {
  std::string code;    // "CYL", "CM", "EX", "MA" or "NA"
  std::string suffix;  // the code, with "CYL" as "NA"
  std::string name;    // as ccaa gives it (CP1252); empty when it could not be read
};

// The region code for a region name (the first line of ccaa).
std::string RegionCodeOf(const std::string& region_name);
// Reads ccaa's first line; a missing or unreadable file gives "NA".
Region DetectRegion(Channels& channels, const std::string& drive_prefix);

}  // namespace velmorin
