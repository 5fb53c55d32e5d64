// Fuzzes the start of the run over an in-memory drive tree: the drive prefix from C:\i.bat
// against a reading of the same rules over the file's lines, then folder preparation and the
// region from ccaa, which must never fail.
#include <string>
#include <vector>

#include "app/start_up.h"
#include "common/cp1252.h"
#include "common/runtime_error.h"
#include "common/text.h"
#include "common/text_lines.h"
#include "common/val.h"
#include "fuzz/fuzz_support.h"
#include "support/memory_file_system.h"

namespace velmorin::fuzz {
namespace {

// The prefix, or the number of the run-time error that reading it must raise.
struct PrefixOutcome {
  std::string prefix;
  int error = 0;
};

PrefixOutcome ReferencePrefix(const std::string& bytes) {
  const std::vector<std::string> lines = SplitLines(bytes);
  size_t next = 0;
  bool marker = false;
  PrefixOutcome out;
  while (next < lines.size()) {
    std::string line = UpperCp1252(lines[next++]);
    if (marker) {
      const auto value = TryVal(line);
      if (!value) return {.error = err::kOverflow};
      marker = *value == 99;
      if (next == lines.size()) return {.error = err::kInputPastEnd};
      line = lines[next++];
      out.prefix = std::string(Left(line, 2));
    }
    if (out.prefix == "99") out.prefix = line;
    if (line.find(":DATOS") != std::string::npos) marker = true;
  }
  return out;
}

std::string FirstLine(const std::string& bytes) {
  const auto lines = SplitLines(bytes);
  return lines.empty() ? std::string() : lines.front();
}

void CheckRegion(test_support::MemoryFileSystem& fs, Channels& channels, const std::string& prefix) {
  const std::string ccaa = prefix + "\\velmorin\\maximos\\ccaa";
  const std::string name = fs.FileExists(ccaa) ? FirstLine(fs.File(ccaa)) : std::string();
  Region region;
  try {
    region = DetectRegion(channels, prefix);
  } catch (const RuntimeError& e) {
    Fail("region detection raised error " + std::to_string(e.number()));
  }
  Check(region.code == RegionCodeOf(name), "region code is not the one ccaa names");
  Check(region.suffix == (region.code == "CYL" ? "NA" : region.code), "region suffix does not follow the code");
  Check(!channels.IsOpen(1), "region detection left channel 1 open");
}

}  // namespace
}  // namespace velmorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmorin;
  using namespace velmorin::fuzz;
  FuzzReader in(data, size);
  const uint8_t flags = in.Byte();
  const std::string batch = in.Some(in.Word());
  const std::string ccaa = in.Rest();

  test_support::MemoryFileSystem fs;
  if ((flags & 1) == 0) fs.SetFile("C:\\i.bat", batch);
  fs.AddFolder("F:\\velmorin\\bdnet\\temp");
  fs.SetFile("F:\\velmorin\\bdnet\\left-over", "x");
  if ((flags & 2) == 0) {
    fs.SetFile("C:\\velmorin\\maximos\\ccaa", ccaa);
    fs.SetFile("F:\\velmorin\\maximos\\ccaa", ccaa);
  }
  Channels channels(fs);
  const PrefixOutcome expected = (flags & 1) == 0 ? ReferencePrefix(batch) : PrefixOutcome{.error = err::kFileNotFound};
  std::string prefix;
  try {
    prefix = ReadDrivePrefix(channels);
    FUZZ_CHECK(expected.error == 0,
               "the drive prefix was read where error " + std::to_string(expected.error) + " was due");
  } catch (const RuntimeError& e) {
    FUZZ_CHECK(e.number() == expected.error, "reading the drive prefix raised error " + std::to_string(e.number()) +
                                                 " instead of " + std::to_string(expected.error));
    return 0;
  }
  FUZZ_CHECK(prefix == expected.prefix, "drive prefix '" + prefix + "' instead of '" + expected.prefix + "'");
  Check(!channels.IsOpen(1), "reading the drive prefix left channel 1 open");
  try {
    PrepareFolders(fs, prefix);
  } catch (const RuntimeError& e) {
    Fail("folder preparation raised error " + std::to_string(e.number()));
  }
  CheckRegion(fs, channels, prefix);
  return 0;
}
