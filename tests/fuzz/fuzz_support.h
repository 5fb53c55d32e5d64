// What the fuzz targets share: a case read from the fuzzer's bytes, sparse record files in an
// in-memory file system with a size cap, and checks that stop the fuzzer with a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/channels.h"
#include "convert/fields.h"
#include "convert/pass_limits.h"
#include "convert/progress.h"
#include "platform/file_system.h"

namespace velmorin::fuzz {

// Reads a case front to back; past the end of the bytes every value is zero.
class FuzzReader {
 public:
  FuzzReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte();
  uint16_t Word();
  // Exactly n bytes, zeros past the end.
  std::string Bytes(size_t n);
  // Up to n bytes.
  std::string Some(size_t n);
  std::string Rest();

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// The routines' passes in a case, where the program clears records up to 99,999 and caches 1,024
// at a time: the few hundred records of a case reach the end of the clearing pass and cross
// cache blocks, and no buffer grows past what AddressSanitizer's allocator reuses (every larger
// one is mapped afresh, and its page faults cost more than the routine's work).
inline constexpr PassLimits kLimits{.last_cleared = 260, .block_records = 256};
inline constexpr int64_t kLastCleared = kLimits.last_cleared;

// A record file as the fuzzer lays it out: zeros with a few records set, spread over the record
// numbers the routines care about (the first ones, the stems of codes above 500000, the end of
// the cleared range and just beyond it), its last record possibly cut short. Nothing when the
// file is absent.
std::optional<std::string> SparseRecordFile(FuzzReader& in, size_t slot_length);

// Thrown by the fuzz file system for a write that would make a file larger than its cap: the
// case is legitimate (a product number far beyond the data) but too big to fuzz.
struct TooBig {};

// The files of a case, by Windows path; nothing for an absent file.
using Files = std::map<std::string, std::optional<std::string>>;

// A record file of a case: its path and its slot length.
struct RecordFileLayout {
  std::string path;
  size_t slot_length;
};
// The record files laid out one after the other from the fuzzer's bytes (SparseRecordFile),
// then a text file with the rest of them.
Files ReadFiles(FuzzReader& in, std::initializer_list<RecordFileLayout> record_files, const std::string& text_file);

// A lean in-memory file system for the conversion routines: every path on one drive, letter case
// ignored, files moved in and out whole, no call log, files capped in size.
class FuzzFileSystem : public platform::FileSystem {
 public:
  // A few hundred records past the layout; a case that writes further is set aside, since every
  // copy of a larger file would be a fresh mapping.
  static constexpr uint64_t kCap = 120ull << 10;

  explicit FuzzFileSystem(Files files);
  // The files named in `names`, taken out of the file system.
  Files Take(const Files& names);

  std::unique_ptr<platform::RandomFile> Open(const std::string& path, platform::OpenMode mode) override;
  uint64_t FileLength(const std::string& path) override;
  bool FileExists(const std::string& path) override { return files_.count(Key(path)) != 0; }
  // The routines never call these.
  void MakeFolder(const std::string& path) override { Unused(path); }
  void DeleteFiles(const std::string& pattern) override { Unused(pattern); }
  void ChangeDrive(const std::string& drive) override { Unused(drive); }
  void ChangeFolder(const std::string& path) override { Unused(path); }
  void Rename(const std::string& from, const std::string&) override { Unused(from); }
  void RemoveFile(const std::string& path) override { Unused(path); }

 private:
  static std::string Key(const std::string& path);
  [[noreturn]] static void Unused(const std::string& path);
  std::map<std::string, std::shared_ptr<std::string>> files_;
};

// Progress sink that checks the bars only ever climb, 1 to 99 in steps of one.
class CheckedProgress : public ConversionProgress {
 public:
  void SetDialogBar(int value) override { Step(dialog_, value, "dialog bar"); }
  void SetStartupBar(int value) override { Step(startup_, value, "start-up bar"); }
  int startup() const { return startup_; }
  int dialog() const { return dialog_; }

 private:
  static void Step(int& bar, int value, const char* name);
  int dialog_ = 0;
  int startup_ = 0;
};

// Stops the fuzzer with a finding.
[[noreturn]] void Fail(const std::string& what);
inline void Check(bool condition, const char* what) {
  if (!condition) Fail(what);
}
// Builds its message only when it fails: for messages made of parts, in loops.
#define FUZZ_CHECK(condition, message)                 \
  do {                                                 \
    if (!(condition)) ::velmorin::fuzz::Fail(message); \
  } while (false)

// The bytes of a file, empty when it is absent.
const std::string& BytesOf(const std::optional<std::string>& file);

// A record file the routine only opens or reads: created empty when it was missing, else as it was.
void CheckUntouched(const std::string& path, const std::optional<std::string>& before,
                    const std::optional<std::string>& after);
void CheckSameFiles(const Files& a, const Files& b, const std::string& what);

// A routine run on a fresh file system holding `files`; nothing when it had to be abandoned
// (TooBig). Any run-time error is a finding: the routines must pass over what they cannot use.
using Routine = std::function<void(Channels&)>;
std::optional<Files> RunOn(Files files, const Routine& routine, const std::string& name);
// Runs the routine once, checks that its channels are closed, then runs it again over its own
// result and checks that nothing changes; returns the files after the first run.
std::optional<Files> RunTwice(const Files& files, const Routine& routine, const std::string& name);

// How a record file may change: only the writable fields of its records; beyond its old end
// only records the routine wrote (zeros elsewhere); never shorter.
struct RecordRule {
  size_t slot_length;
  size_t data_length;
  std::vector<TextField> writable;
  // The file ends at least at the end of this record afterwards (the clearing passes).
  int64_t min_records = 0;
  // For a file that grew: is this record one the routine wrote? (default: any)
  std::function<bool(int64_t record, std::string_view bytes)> written;
};
void CheckRecordFile(const std::string& path, const std::optional<std::string>& before,
                     const std::optional<std::string>& after, const RecordRule& rule);

// What a list import must leave: a record file it only opens or reads as it was, the list
// unchanged, and the target changed only as its rule allows and exactly as the reference says.
struct ImportOutcome {
  std::string read_only;
  std::string list;
  std::string target;
  RecordRule rule;
  // The reference result of the target; `mismatch` reports a difference from it.
  std::function<std::string(const Files& before)> expected;
  const char* mismatch;
};
void CheckImport(const Files& before, const Files& after, const ImportOutcome& outcome);

// Plain byte-level references for the routines' expected results.
// Record n of a file's bytes (zeros beyond its end).
std::string RecordAt(const std::string& file, size_t slot_length, int64_t n);
// Writes the first `data_length` bytes of record n, extending the file with zeros as needed.
void PutRecord(std::string& file, size_t slot_length, int64_t n, std::string_view record, size_t data_length);
// The first `data_length` bytes of record n, to be changed in place (the file is extended).
std::span<char> RecordSpan(std::string& file, size_t slot_length, int64_t n, size_t data_length);
// The product record number of a code over basey's bytes: stem from the first five characters,
// check digit from `check` (anything but a digit gives 0), the number in that index slot.
// With `above_500000` only codes whose value is greater than 500000 are looked up.
std::optional<int64_t> ReferenceProduct(const std::string& basey, std::string_view code, char check, bool above_500000);

}  // namespace velmorin::fuzz
