// RecordFile: positional record reads and writes over a shared file.
#include "convert/record_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/numbers.h"
#include "common/runtime_error.h"

namespace velmorin {

RecordFile::RecordFile(std::unique_ptr<platform::RandomFile> file, size_t slot_length, size_t data_length,
                       std::string path)
    : file_(std::move(file)), slot_length_(slot_length), data_length_(data_length), path_(std::move(path)) {}

void RecordFile::Check(int64_t n) const {
  if (n < 1 || n > MaxRecord()) throw RuntimeError(err::kBadRecordNumber, path_);
}

void RecordFile::Read(int64_t n, std::span<char> out) { ReadRange(n, 1, out); }

size_t RecordFile::RangeBytes(int64_t n, int64_t count) const {
  const int64_t last = std::min<int64_t>(n + count - 1, MaxRecord());
  return static_cast<size_t>(last - n + 1) * slot_length_;
}

size_t RecordFile::ReadRange(int64_t n, int64_t count, std::span<char> out) {
  Check(n);
  const size_t read =
      file_->ReadAt(static_cast<uint64_t>(n - 1) * slot_length_, out.first(std::min(RangeBytes(n, count), out.size())));
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(read), out.end(), '\0');
  return read;
}

void RecordFile::ReadAhead(int64_t n, int64_t count) {
  if (n < 1 || n > MaxRecord() || count < 1) return;
  file_->ReadAhead(static_cast<uint64_t>(n - 1) * slot_length_, RangeBytes(n, count));
}

void RecordFile::Write(int64_t n, std::span<const char> record) {
  Check(n);
  file_->WriteAt(static_cast<uint64_t>(n - 1) * slot_length_, record.first(data_length_));
  ++records_written_;
}

void RecordFile::WriteBytes(int64_t n, size_t offset, std::span<const char> bytes) {
  Check(n);
  const uint64_t at = static_cast<uint64_t>(n - 1) * slot_length_ + offset;
  if (at + bytes.size() > kMaxRecordFileBytes) throw RuntimeError(err::kBadRecordNumber, path_);
  file_->WriteAt(at, bytes);
}

uint64_t RecordFile::Size() { return file_->Size(); }

std::optional<int64_t> AddressableRecord(double value, size_t slot_length) {
  const double rounded = RoundHalfEven(value);
  if (!(rounded >= 1.0) || rounded > static_cast<double>(RecordFile::MaxRecordFor(slot_length))) {
    return std::nullopt;
  }
  return static_cast<int64_t>(rounded);
}

int64_t RecordNumber(double value, size_t slot_length) {
  const auto n = AddressableRecord(value, slot_length);
  if (!n) throw RuntimeError(err::kBadRecordNumber);
  return *n;
}

}  // namespace velmorin
