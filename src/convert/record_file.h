// A file of fixed-length records shared with the back-office program.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/file_system.h"

namespace velmorin {

// Record files are read and written with 32-bit offsets by the back-office program, so no
// record may end beyond 2 GiB - 1.
inline constexpr uint64_t kMaxRecordFileBytes = 0x7FFFFFFF;

// Record n occupies bytes (n-1)*L .. n*L-1. Records are numbered from 1.
class RecordFile {
 public:
  // `data_length` is how many bytes of each slot a write covers (the LabGT slot is 17 bytes
  // long but its record only 16; the last byte is never written).
  RecordFile(std::unique_ptr<platform::RandomFile> file, size_t slot_length, size_t data_length, std::string path);

  size_t slot_length() const { return slot_length_; }
  size_t data_length() const { return data_length_; }
  const std::string& path() const { return path_; }
  int64_t MaxRecord() const { return MaxRecordFor(slot_length_); }

  // Reads slot n into `out` (slot_length bytes); bytes beyond the end of the file are zero.
  void Read(int64_t n, std::span<char> out);
  // Writes the first data_length bytes of `record` as record n, extending the file if needed.
  void Write(int64_t n, std::span<const char> record);
  // Reads `count` slots from n on; zeros beyond the end. Returns how many bytes the file held.
  size_t ReadRange(int64_t n, int64_t count, std::span<char> out);
  // Writes raw bytes from byte `offset` of slot n on (a part of a record, or a run over
  // several); the caller counts the records they change with CountWritten.
  void WriteBytes(int64_t n, size_t offset, std::span<const char> bytes);
  void CountWritten(int64_t records) { records_written_ += records; }
  // Announces a ReadRange(n, count) to come, so that a file on a share can fetch it meanwhile.
  void ReadAhead(int64_t n, int64_t count);
  // Returns once every write is in the file; throws the first failure.
  void Finish() { file_->Finish(); }
  uint64_t Size();
  // Records written so far (a run of n records counts n), for the run report.
  int64_t records_written() const { return records_written_; }

  static int64_t MaxRecordFor(size_t slot_length) { return static_cast<int64_t>(kMaxRecordFileBytes / slot_length); }

 private:
  void Check(int64_t n) const;
  size_t RangeBytes(int64_t n, int64_t count) const;

  std::unique_ptr<platform::RandomFile> file_;
  size_t slot_length_;
  size_t data_length_;
  std::string path_;
  int64_t records_written_ = 0;
};

// A numeric value used as a record number: rounded halves-to-even; run-time error 63 when it
// is below 1 or beyond the last record a file of that slot length can hold.
int64_t RecordNumber(double value, size_t slot_length);
// The same value when it addresses a record, nothing otherwise (never an error).
std::optional<int64_t> AddressableRecord(double value, size_t slot_length);

}  // namespace velmorin
