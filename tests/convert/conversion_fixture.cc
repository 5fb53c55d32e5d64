// ConversionTest helpers.
#include "conversion_fixture.h"

#include <algorithm>

#include "convert/records.h"
#include "support/error_of.h"

namespace velmorin {

int ErrorNumberOf(const std::function<void()>& f) { return test_support::ErrorOf(f); }

std::string TextLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

ConversionTest::ConversionTest() {
  fs_.AddFolder("C:\\velmorin\\quorra");
  fs_.AddFolder("C:\\velmorin\\bases");
  fs_.AddFolder("C:\\velmorin\\preferencia");
}

std::string ConversionTest::Record(const std::string& path, size_t slot, int64_t n) const {
  std::string bytes = fs_.File(path);
  const size_t start = static_cast<size_t>(n - 1) * slot;
  std::string record = start < bytes.size() ? bytes.substr(start, slot) : std::string();
  record.resize(slot, '\0');
  return record;
}

void ConversionTest::SetRecord(const std::string& path, size_t slot, int64_t n, const std::string& bytes) {
  std::string file = fs_.File(path);
  const size_t start = static_cast<size_t>(n - 1) * slot;
  if (file.size() < start + slot) file.resize(start + slot, '\0');
  file.replace(start, slot, bytes.substr(0, slot));
  fs_.SetFile(path, std::move(file));
}

void ConversionTest::SetField(const std::string& path, size_t slot, int64_t n, TextField field,
                              std::string_view value) {
  std::string record = Record(path, slot, n);
  SetText(record, field, value);
  SetRecord(path, slot, n, record);
}

std::string ConversionTest::Field(const std::string& path, size_t slot, int64_t n, TextField field) const {
  return GetText(Record(path, slot, n), field);
}

void ConversionTest::Index(int64_t stem, int digit, const std::string& product_text) {
  SetField(data::kBasey, ProductRecord::kLength, stem, ProductRecord::IndexSlot(digit), product_text);
}

void ConversionTest::Index(std::string_view code, int64_t product) {
  Index(std::stoll(std::string(code.substr(0, 5))), code[5] - '0', std::to_string(product));
}

std::vector<int64_t> ConversionTest::WrittenRecords(const std::string& path, size_t slot) const {
  std::vector<int64_t> records;
  const std::string key = fs_.Normalize(path);
  for (const auto& call : const_cast<test_support::MemoryFileSystem&>(fs_).calls()) {
    if (call.kind != test_support::IoCall::kWrite || call.path != key) continue;
    for (uint64_t at = call.offset; at < call.offset + call.length; at += slot) {
      records.push_back(static_cast<int64_t>(at / slot) + 1);
    }
  }
  std::sort(records.begin(), records.end());
  return records;
}

bool ConversionTest::AnyCallTo(const std::string& path) const {
  const std::string key = fs_.Normalize(path);
  const auto& calls = const_cast<test_support::MemoryFileSystem&>(fs_).calls();
  return std::any_of(calls.begin(), calls.end(), [&](const auto& c) { return c.path == key; });
}

void ConversionTest::ExpectAllClosed() const {
  for (int channel = Channels::kFirst; channel <= Channels::kLast; ++channel) {
    EXPECT_FALSE(channels_.IsOpen(channel)) << "channel " << channel;
  }
}

}  // namespace velmorin
