// The fuzz targets' shared reader, file system and checks.
#include "fuzz/fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/runtime_error.h"
#include "common/val.h"
#include "convert/product_lookup.h"
#include "convert/record_file.h"
#include "convert/records.h"

namespace velmorin::fuzz {

uint8_t FuzzReader::Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

uint16_t FuzzReader::Word() {
  const uint16_t low = Byte();
  return static_cast<uint16_t>(low | Byte() << 8);
}

std::string FuzzReader::Bytes(size_t n) {
  std::string out = Some(n);
  out.resize(n, '\0');
  return out;
}

std::string FuzzReader::Some(size_t n) {
  const size_t take = std::min(n, size_ - pos_);
  std::string out(reinterpret_cast<const char*>(data_) + pos_, take);
  pos_ += take;
  return out;
}

std::string FuzzReader::Rest() { return Some(size_ - pos_); }

std::optional<std::string> SparseRecordFile(FuzzReader& in, size_t slot_length) {
  // Record numbers 1.., 50.. and 501.. (stems of codes above 500000 such as "12E  5", "51E  4"
  // next to "50E  4", which is not above, and "501E 3" beyond the cleared range), and the end of
  // the range and just beyond it. The last two cross a cache block.
  constexpr int64_t kBases[] = {0, 49, 500, kLastCleared - 10};
  const uint8_t header = in.Byte();
  if (header >= 0xF0) return std::nullopt;
  std::string file;
  for (int k = header % 8; k > 0; --k) {
    const int64_t n = kBases[in.Byte() % 4] + in.Word() % 32 + 1;
    const size_t offset = static_cast<size_t>(n - 1) * slot_length;
    if (file.size() < offset + slot_length) file.resize(offset + slot_length, '\0');
    const std::string record = in.Bytes(slot_length);
    std::copy(record.begin(), record.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
  }
  const uint8_t cut = in.Byte();
  if ((cut & 0x80) != 0 && !file.empty()) file.resize(file.size() - (cut & 0x7F) % slot_length);
  return file;
}

namespace {

class FuzzFile : public platform::RandomFile {
 public:
  FuzzFile(std::shared_ptr<std::string> bytes, bool writable) : bytes_(std::move(bytes)), writable_(writable) {}

  size_t ReadAt(uint64_t offset, std::span<char> out) override {
    if (offset >= bytes_->size()) return 0;
    const size_t n = std::min<size_t>(out.size(), bytes_->size() - offset);
    std::copy_n(bytes_->data() + offset, n, out.data());
    return n;
  }

  void WriteAt(uint64_t offset, std::span<const char> data) override {
    if (!writable_) throw RuntimeError(err::kBadFileMode);
    const uint64_t end = offset + data.size();
    if (end > FuzzFileSystem::kCap) throw TooBig{};
    // Room for the whole cleared range at once: no copy of a growing file on every block.
    if (bytes_->capacity() < end) bytes_->reserve(std::max<uint64_t>(end, 2 * bytes_->capacity()));
    if (bytes_->size() < end) bytes_->resize(end, '\0');
    std::copy(data.begin(), data.end(), bytes_->begin() + static_cast<std::ptrdiff_t>(offset));
  }

  uint64_t Size() override { return bytes_->size(); }

 private:
  std::shared_ptr<std::string> bytes_;
  bool writable_;
};

}  // namespace

FuzzFileSystem::FuzzFileSystem(Files files) {
  for (auto& [path, bytes] : files) {
    if (bytes) files_[Key(path)] = std::make_shared<std::string>(std::move(*bytes));
  }
}

Files FuzzFileSystem::Take(const Files& names) {
  Files out;
  for (const auto& [path, unused] : names) {
    const auto it = files_.find(Key(path));
    out[path] = it == files_.end() ? std::nullopt : std::optional(std::move(*it->second));
  }
  return out;
}

std::string FuzzFileSystem::Key(const std::string& path) {
  std::string key = path.size() >= 2 && path[1] == ':' ? path.substr(2) : path;
  for (char& c : key) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  return key;
}

void FuzzFileSystem::Unused(const std::string& path) {
  Fail("a routine touched the file system outside its files: " + path);
}

std::unique_ptr<platform::RandomFile> FuzzFileSystem::Open(const std::string& path, platform::OpenMode mode) {
  auto& bytes = files_[Key(path)];
  if (!bytes) {
    if (mode == platform::OpenMode::kInput) {
      files_.erase(Key(path));
      throw RuntimeError(err::kFileNotFound, path);
    }
    bytes = std::make_shared<std::string>();
  }
  if (mode == platform::OpenMode::kOutput) bytes->clear();
  return std::make_unique<FuzzFile>(bytes, mode != platform::OpenMode::kInput);
}

uint64_t FuzzFileSystem::FileLength(const std::string& path) {
  const auto it = files_.find(Key(path));
  if (it == files_.end()) throw RuntimeError(err::kFileNotFound, path);
  return it->second->size();
}

void CheckedProgress::Step(int& bar, int value, const char* name) {
  if (value != bar + 1 || value > 99) {
    Fail(std::string(name) + " went from " + std::to_string(bar) + " to " + std::to_string(value));
  }
  bar = value;
}

void Fail(const std::string& what) {
  std::fprintf(stderr, "\n*** invariant broken: %s\n", what.c_str());
  std::abort();
}

namespace {

std::string Describe(const std::optional<std::string>& bytes) {
  return bytes ? std::to_string(bytes->size()) + " bytes" : std::string("absent");
}

// The first differing byte, for the report.
std::string FirstDifference(const std::string& a, const std::string& b) {
  const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  return "offset " + std::to_string(ia - a.begin());
}

}  // namespace

Files ReadFiles(FuzzReader& in, std::initializer_list<RecordFileLayout> record_files, const std::string& text_file) {
  Files files;
  for (const RecordFileLayout& file : record_files) files[file.path] = SparseRecordFile(in, file.slot_length);
  files[text_file] = in.Rest();
  return files;
}

const std::string& BytesOf(const std::optional<std::string>& file) {
  static const std::string kNone;
  return file ? *file : kNone;
}

void CheckUntouched(const std::string& path, const std::optional<std::string>& before,
                    const std::optional<std::string>& after) {
  FUZZ_CHECK(after.has_value() && *after == BytesOf(before), path + " changed");
}

void CheckSameFiles(const Files& a, const Files& b, const std::string& what) {
  for (const auto& [path, bytes] : a) {
    const auto it = b.find(path);
    const std::optional<std::string> other = it == b.end() ? std::nullopt : it->second;
    if (bytes == other) continue;
    std::string detail = Describe(bytes) + " / " + Describe(other);
    if (bytes && other) detail += ", first difference at " + FirstDifference(*bytes, *other);
    Fail(what + ": " + path + " differs (" + detail + ")");
  }
}

void CheckImport(const Files& before, const Files& after, const ImportOutcome& outcome) {
  CheckUntouched(outcome.read_only, before.at(outcome.read_only), after.at(outcome.read_only));
  Check(after.at(outcome.list) == before.at(outcome.list), "the list changed");
  CheckRecordFile(outcome.target, before.at(outcome.target), after.at(outcome.target), outcome.rule);
  Check(after.at(outcome.target) == outcome.expected(before), outcome.mismatch);
}

std::optional<Files> RunOn(Files files, const Routine& routine, const std::string& name) {
  Files names;
  for (const auto& [path, unused] : files) names[path];
  FuzzFileSystem fs(std::move(files));
  Channels channels(fs);
  try {
    routine(channels);
  } catch (const TooBig&) {
    return std::nullopt;
  } catch (const RuntimeError& e) {
    Fail(name + " stopped with run-time error " + std::to_string(e.number()) + " (" + e.detail() + ")");
  }
  for (int c = Channels::kFirst; c <= Channels::kLast; ++c) {
    if (channels.IsOpen(c)) Fail(name + " left channel " + std::to_string(c) + " open");
  }
  return fs.Take(names);
}

std::optional<Files> RunTwice(const Files& files, const Routine& routine, const std::string& name) {
  auto once = RunOn(files, routine, name);
  if (!once) return std::nullopt;
  const auto twice = RunOn(*once, routine, name + " (second run)");
  Check(twice.has_value(), "the second run grew a file beyond the cap where the first did not");
  CheckSameFiles(*once, *twice, name + " run twice");
  return once;
}

void CheckRecordFile(const std::string& path, const std::optional<std::string>& before,
                     const std::optional<std::string>& after, const RecordRule& rule) {
  FUZZ_CHECK(after.has_value(), path + " is missing after the routine");
  const std::string old = before.value_or("");
  const std::string& now = *after;
  FUZZ_CHECK(now.size() >= old.size(), path + " got shorter");
  // What the file may hold: its old bytes (zeros beyond them) with the writable fields as now.
  std::string allowed = old;
  allowed.resize(now.size(), '\0');
  for (size_t record = 0; record < now.size(); record += rule.slot_length) {
    for (const TextField& f : rule.writable) {
      if (record + f.offset >= now.size()) continue;
      const size_t n = std::min(f.width, now.size() - record - f.offset);
      std::copy_n(now.begin() + static_cast<std::ptrdiff_t>(record + f.offset), n,
                  allowed.begin() + static_cast<std::ptrdiff_t>(record + f.offset));
    }
  }
  if (allowed != now) Fail(path + ": a byte outside the routine's fields changed, " + FirstDifference(allowed, now));
  const uint64_t min_end = rule.min_records > 0 ? (rule.min_records - 1) * rule.slot_length + rule.data_length : 0;
  FUZZ_CHECK(now.size() >= min_end, path + " does not cover the cleared records");
  if (now.size() == old.size() || now.size() == min_end) return;
  FUZZ_CHECK((now.size() - rule.data_length) % rule.slot_length == 0, path + " grew to the middle of a record");
  const auto last = static_cast<int64_t>((now.size() - rule.data_length) / rule.slot_length) + 1;
  if (rule.written) {
    const std::string_view record(now.data() + (last - 1) * rule.slot_length, rule.data_length);
    FUZZ_CHECK(rule.written(last, record),
               path + " grew to record " + std::to_string(last) + ", which the routine had no reason to write");
  }
}

std::string RecordAt(const std::string& file, size_t slot_length, int64_t n) {
  const size_t offset = static_cast<size_t>(n - 1) * slot_length;
  std::string record = offset < file.size() ? file.substr(offset, slot_length) : std::string();
  record.resize(slot_length, '\0');
  return record;
}

std::span<char> RecordSpan(std::string& file, size_t slot_length, int64_t n, size_t data_length) {
  const size_t offset = static_cast<size_t>(n - 1) * slot_length;
  if (offset + data_length > FuzzFileSystem::kCap)
    Fail("the reference writes beyond the cap where the routine did not");
  if (file.size() < offset + data_length) file.resize(offset + data_length, '\0');
  return std::span<char>(file).subspan(offset, data_length);
}

void PutRecord(std::string& file, size_t slot_length, int64_t n, std::string_view record, size_t data_length) {
  const auto target = RecordSpan(file, slot_length, n, data_length);
  std::copy_n(record.begin(), data_length, target.begin());
}

std::optional<int64_t> ReferenceProduct(const std::string& basey, std::string_view code, char check,
                                        bool above_500000) {
  if (above_500000) {
    const auto value = TryVal(code);
    if (!value || !(*value > 500000)) return std::nullopt;
  }
  const auto stem = TryVal(code.substr(0, 5));
  if (!stem || !(*stem > 0)) return std::nullopt;
  const auto stem_record = AddressableRecord(*stem, ProductRecord::kLength);
  if (!stem_record) return std::nullopt;
  const int digit = check >= '0' && check <= '9' ? check - '0' : 0;
  const std::string index = RecordAt(basey, ProductRecord::kLength, *stem_record);
  const TextField slot = ProductRecord::IndexSlot(digit);
  const auto product = TryVal(std::string_view(index).substr(slot.offset, slot.width));
  if (!product || !(*product > 0)) return std::nullopt;
  return AddressableRecord(*product, kLongestProductRecord);
}

}  // namespace velmorin::fuzz
