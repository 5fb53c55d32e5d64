// A data folder in memory for the conversion routines' tests: record files built and read
// back record by record, the bars the routines move, and run-time error numbers.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/runtime_error.h"
#include "convert/channels.h"
#include "convert/fields.h"
#include "convert/progress.h"
#include "support/memory_file_system.h"

namespace velmorin {

namespace data {
inline const std::string kBasey = "C:\\velmorin\\quorra\\basey";
inline const std::string kBasea = "C:\\velmorin\\quorra\\basea";
inline const std::string kCoste = "C:\\velmorin\\bases\\coste";
inline const std::string kLabGt = "C:\\velmorin\\bases\\LabGT";
inline const std::string kBaseext = "C:\\velmorin\\quorra\\baseext";
inline const std::string kPrecios = "C:\\velmorin\\preferencia\\precios";
inline const std::string kEspec = "C:\\velmorin\\preferencia\\espec";
inline const std::string kBaseP = "C:\\velmorin\\quorra\\BaseP";
inline const std::string kProductText = "C:\\velmorin\\bases\\dolvek.txt";
inline const std::string kVisado = "C:\\velmorin\\VISADO75.txt";
inline const std::string kSerialization = "C:\\velmorin\\bases\\serializacion.txt";
inline const std::string kNotified = "C:\\velmorin\\quorra\\pvpnotificados.txt";
}  // namespace data

// Every bar set, in order: 'D' for the dialog's, 'S' for the start-up form's.
class BarLog : public ConversionProgress {
 public:
  void SetDialogBar(int value) override { sets.emplace_back('D', value); }
  void SetStartupBar(int value) override { sets.emplace_back('S', value); }
  std::vector<std::pair<char, int>> sets;
};

int ErrorNumberOf(const std::function<void()>& f);

// Lines joined with CR LF.
std::string TextLines(const std::vector<std::string>& lines);

class ConversionTest : public testing::Test {
 protected:
  ConversionTest();

  // Record n of a file (zeros beyond its end).
  std::string Record(const std::string& path, size_t slot, int64_t n) const;
  // Writes record n, extending the file with zeros.
  void SetRecord(const std::string& path, size_t slot, int64_t n, const std::string& bytes);
  // Changes one field of record n.
  void SetField(const std::string& path, size_t slot, int64_t n, TextField field, std::string_view value);
  std::string Field(const std::string& path, size_t slot, int64_t n, TextField field) const;
  // Points slot `digit` of basey record `stem` at `product` (as the index writes it).
  void Index(int64_t stem, int digit, const std::string& product_text);
  void Index(std::string_view code, int64_t product);
  // Records of the write calls made to one file since the last ClearCalls().
  std::vector<int64_t> WrittenRecords(const std::string& path, size_t slot) const;
  bool AnyCallTo(const std::string& path) const;
  void ClearCalls() { fs_.calls().clear(); }
  void ExpectAllClosed() const;

  test_support::MemoryFileSystem fs_;
  Channels channels_{fs_};
  BarLog bars_;
};

}  // namespace velmorin
