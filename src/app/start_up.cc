// Drive prefix, folder preparation and region detection.
#include "app/start_up.h"

#include "common/cp1252.h"
#include "common/runtime_error.h"
#include "common/text.h"
#include "common/val.h"

namespace velmorin {
namespace {

constexpr int kMarker = 99;

template <class Step>
void Silently(Step step) {
  try {
    step();
  } catch (const RuntimeError&) {
    // Folder preparation and region detection pass over every failure.
  }
}

}  // namespace

std::string ReadDrivePrefix(Channels& channels) {
  channels.Close(1);
  TextInput& batch = channels.OpenInput(1, "C:\\i.bat");
  double marker = 0;
  std::string prefix;
  while (!batch.AtEnd()) {
    std::string line = UpperCp1252(batch.LineInput());
    if (marker == kMarker) {
      marker = Val(line);
      line = batch.LineInput();
      prefix = std::string(Left(line, 2));
    }
    if (prefix == "99") prefix = line;
    if (Contains(line, ":DATOS")) marker = kMarker;
  }
  channels.Close(1);
  return prefix;
}

void PrepareFolders(platform::FileSystem& fs, const std::string& drive_prefix) {
  Silently([&] { fs.MakeFolder(drive_prefix + "\\windows\\temp"); });
  Silently([&] { fs.MakeFolder(drive_prefix + "\\velmorin\\bdnet"); });
  Silently([&] { fs.MakeFolder(drive_prefix + "\\velmorin\\bdnet\\temp"); });
  Silently([&] { fs.DeleteFiles(drive_prefix + "\\velmorin\\bdnet\\temp\\*.*"); });
  Silently([&] { fs.DeleteFiles(drive_prefix + "\\velmorin\\bdnet\\*.*"); });
  Silently([&] { fs.ChangeDrive(std::string(Left(drive_prefix + "\\velmorin", 1))); });
}

std::string RegionCodeOf(const std::string& region_name) {
  const std::string name = UpperCp1252(region_name);
  if (Contains(name, "LLA Y LE")) return "CYL";
  if (Contains(name, "MANCHA")) return "CM";
  if (Contains(name, "EXT")) return "EX";
  if (Contains(name, "MAD")) return "MA";
  return "NA";
}

Region DetectRegion(Channels& channels, const std::string& drive_prefix) {
  std::string name;
  Silently([&] {
    channels.Close(1);
    // Opened and read in one step: a failure leaves the name empty and the channel closed.
    TextInput& ccaa = channels.OpenInput(1, drive_prefix + "\\velmorin\\maximos\\ccaa");
    name = ccaa.LineInput();
  });
  Silently([&] { channels.Close(1); });
  Region region;
  region.code = RegionCodeOf(name);
  region.suffix = region.code == "CYL" ? "NA" : region.code;
  region.name = name;
  return region;
}

}  // namespace velmorin
