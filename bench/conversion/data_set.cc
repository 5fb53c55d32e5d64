// The benchmark's data set: random products with consistent codes in basey's index and in
// every companion file, lists drawn from those products.
#include "data_set.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <random>
#include <set>

#include "convert/build_preference_prices.h"
#include "convert/channels.h"
#include "convert/fields.h"
#include "convert/import_product_file.h"
#include "convert/import_serialization_list.h"
#include "convert/import_visado_list.h"
#include "convert/notified_prices.h"
#include "convert/records.h"
#include "platform/posix/posix_file_system.h"

namespace velmorin::bench {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kRecords = 99999;

struct Product {
  std::string code;
  int64_t record = 0;
};

class Generator {
 public:
  Generator(fs::path root, const DataSetShape& shape) : root_(std::move(root)), shape_(shape), rng_(shape.seed) {}

  void Run();

 private:
  size_t Below(size_t n) { return rng_() % n; }
  bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }
  std::string Digits(size_t n) {
    std::string text(n, '0');
    for (char& c : text) c = static_cast<char>('0' + Below(10));
    return text;
  }
  std::string Letters(size_t n) {
    std::string text(n, 'A');
    for (char& c : text) c = static_cast<char>('A' + Below(26));
    return text;
  }
  std::string Price() {
    char text[16];
    std::snprintf(text, sizeof text, "%08.2f", static_cast<double>(Below(2000000)) / 100);
    return text;
  }
  const Product& AnyProduct() { return products_[Below(products_.size())]; }
  // Products whose codes the lists with a threshold take.
  const Product& ListedProduct() {
    while (true) {
      const Product& p = AnyProduct();
      if (p.code > "500000") return p;
    }
  }

  void MakeProducts();
  void WriteRecordFiles();
  std::string ProductLine(const Product& p, bool visado);
  std::string SerializationLine(const Product& p);
  std::string NotifiedLine(const Product& p);
  std::string SpecRecord(const Product& p);
  template <class MakeEntry, class Change>
  std::vector<std::string> Entries(int count, MakeEntry make, Change change, std::vector<std::string>& last_month);
  void WriteLines(const char* path, const std::vector<std::string>& lines);
  void Write(const char* path, const std::string& bytes);
  void ApplyLastMonth(const std::vector<std::string>& product_lines, const std::vector<std::string>& visa,
                      const std::vector<std::string>& serialization, const std::string& espec,
                      const std::vector<std::string>& notified);
  void SetEndMarks();

  fs::path root_;
  DataSetShape shape_;
  std::mt19937 rng_;
  std::vector<Product> products_;
};

void Generator::MakeProducts() {
  std::vector<int64_t> records(kRecords);
  std::iota(records.begin(), records.end(), 1);
  std::shuffle(records.begin(), records.end(), rng_);
  std::vector<bool> used(1000000);
  while (static_cast<int>(products_.size()) < shape_.products) {
    // Most national codes lie above 500000, the rest between 100000 and 499999.
    const size_t code = Chance(0.9) ? 600000 + Below(400000) : 100000 + Below(400000);
    if (used[code]) continue;
    used[code] = true;
    products_.push_back({std::to_string(code), records[products_.size()]});
  }
}

void Generator::WriteRecordFiles() {
  std::string basey(kRecords * ProductRecord::kLength, ' ');
  std::string basea(kRecords * ProductDetailRecord::kLength, ' ');
  std::string coste(kRecords * CostRecord::kLength, ' ');
  std::string labgt(kRecords * LabGtRecord::kSlotLength, ' ');
  auto span = [](std::string& file, size_t slot, int64_t n) {
    return std::span<char>(file.data() + static_cast<size_t>(n - 1) * slot, slot);
  };
  for (int64_t n = 1; n <= kRecords; ++n) {
    auto record = span(basey, ProductRecord::kLength, n);
    std::generate(record.begin() + 81, record.begin() + 89, [this] { return static_cast<char>(Below(256)); });
  }
  for (const Product& p : products_) {
    const int64_t stem = std::stoll(p.code.substr(0, 5));
    SetText(span(basey, ProductRecord::kLength, stem), ProductRecord::IndexSlot(p.code[5] - '0'),
            std::to_string(p.record));
    auto product = span(basey, ProductRecord::kLength, p.record);
    SetText(product, ProductRecord::kCode, p.code);
    SetText(product, ProductRecord::kEndMarkText, Letters(12));
    SetText(span(basea, ProductDetailRecord::kLength, p.record), ProductDetailRecord::kCode, p.code);
    SetText(span(labgt, LabGtRecord::kSlotLength, p.record), LabGtRecord::kCode, p.code);
    SetText(span(coste, CostRecord::kLength, p.record), CostRecord::kAmountLock, Chance(0.9) ? " " : "X");
  }
  Write(files::kBasey, basey);
  Write(files::kBasea, basea);
  Write(files::kCoste, coste);
  Write(files::kLabGt, labgt);
  Write(files::kBaseext, std::string(kRecords * ProductExtRecord::kLength, ' '));
  Write(files::kPrecios, std::string(kRecords * PreferencePriceRecord::kLength, '\0'));
  Write(files::kBaseP, std::string(kRecords * NotifiedPriceRecord::kLength, '\0'));
}

// Column 35 is the product's visa mark, the same the visa list gives.
std::string Generator::ProductLine(const Product& p, bool visado) {
  std::string line = p.code + Digits(2) + Letters(4) + (Chance(0.3) ? "G" : "N") + Letters(3) + Digits(3) + Digits(2) +
                     "     " + Price() + (visado ? "7" : " ") + Letters(5) + Digits(5);
  line += std::string(74 - line.size(), ' ');
  return line + Letters(3) + "   ";
}

std::string Generator::SerializationLine(const Product& p) {
  std::string line = std::string(1, Chance(0.5) ? '1' : '2') + p.code + ' ' + Letters(40);
  line.resize(104, ' ');
  return line + "20" + Digits(2) + "-0" + Digits(1) + "-1" + Digits(1) + " S";
}

std::string Generator::NotifiedLine(const Product& p) { return p.code + " " + Price() + Price(); }

std::string Generator::SpecRecord(const Product& p) {
  std::string record(velmorin::SpecRecord::kLength, ' ');
  SetText(record, velmorin::SpecRecord::kFirstValue, Digits(3) + ".5");
  SetText(record, velmorin::SpecRecord::kSecondValue, Price());
  SetText(record, velmorin::SpecRecord::kThirdValue, Price());
  SetText(record, velmorin::SpecRecord::kFourthValue, Price());
  SetText(record, velmorin::SpecRecord::kCode, p.code);
  return record;
}

// This month's entries, and last month's: the same but for a `changed` share that differ.
template <class MakeEntry, class Change>
std::vector<std::string> Generator::Entries(int count, MakeEntry make, Change change,
                                            std::vector<std::string>& last_month) {
  std::vector<std::string> now;
  last_month.clear();
  for (int i = 0; i < count; ++i) {
    now.push_back(make());
    last_month.push_back(Chance(shape_.changed) ? change(now.back()) : now.back());
  }
  return now;
}

void Generator::Run() {
  MakeProducts();
  WriteRecordFiles();
  std::vector<std::string> old_products, old_visa, old_serial, old_specs, old_notified;
  std::vector<Product> shuffled = products_;
  std::shuffle(shuffled.begin(), shuffled.end(), rng_);
  const auto visa = Entries(
      shape_.visa_lines, [&] { return ListedProduct().code; }, [&](const std::string&) { return ListedProduct().code; },
      old_visa);
  const std::set<std::string> visado(visa.begin(), visa.end()), old_visado(old_visa.begin(), old_visa.end());
  size_t next = 0;
  const auto product_lines = Entries(
      shape_.product_lines,
      [&] {
        const Product& p = shuffled[next++ % shuffled.size()];
        return ProductLine(p, visado.count(p.code) != 0);
      },
      [&](const std::string& line) {
        return line.substr(0, 16) + Digits(5) + line.substr(21, 5) + Price() + line.substr(34);
      },
      old_products);
  for (auto& line : old_products) line[34] = old_visado.count(line.substr(0, 6)) != 0 ? '7' : ' ';
  const auto serialization = Entries(
      shape_.serialization_lines, [&] { return SerializationLine(ListedProduct()); },
      [&](const std::string& line) {
        return std::string(line[0] == '1' ? "2" : "1") + line.substr(1, 112) + Digits(1) + line.substr(114);
      },
      old_serial);
  const auto specs = Entries(
      shape_.spec_records, [&] { return SpecRecord(ListedProduct()); },
      [&](const std::string& record) { return record.substr(0, 7) + Price() + record.substr(15); }, old_specs);
  const auto notified = Entries(
      shape_.notified_lines, [&] { return NotifiedLine(AnyProduct()); },
      [&](const std::string& line) { return line.substr(0, 15) + Price(); }, old_notified);
  auto join = [](const std::vector<std::string>& parts) {
    std::string all;
    for (const auto& p : parts) all += p;
    return all;
  };
  ApplyLastMonth(old_products, old_visa, old_serial, join(old_specs), old_notified);
  SetEndMarks();
  WriteLines(files::kProductText, product_lines);
  WriteLines(files::kVisado, visa);
  WriteLines(files::kSerialization, serialization);
  Write(files::kEspec, join(specs));
  WriteLines(files::kNotified, notified);
}

void Generator::ApplyLastMonth(const std::vector<std::string>& product_lines, const std::vector<std::string>& visa,
                               const std::vector<std::string>& serialization, const std::string& espec,
                               const std::vector<std::string>& notified) {
  WriteLines(files::kProductText, product_lines);
  WriteLines(files::kVisado, visa);
  WriteLines(files::kSerialization, serialization);
  Write(files::kEspec, espec);
  WriteLines(files::kNotified, notified);
  platform::PosixFileSystem file_system(root_);
  Channels channels(file_system);
  struct NoBars : ConversionProgress {
    void SetDialogBar(int) override {}
    void SetStartupBar(int) override {}
  } bars;
  ImportVisadoList(channels);
  RebuildNotifiedPrices(channels, bars);
  ImportProductFile(channels, "", "NA");
  BuildPreferencePrices(channels);
  ImportSerializationList(channels);
}

void Generator::SetEndMarks() {
  std::fstream basey(root_ / "C" / files::kBasey, std::ios::in | std::ios::out | std::ios::binary);
  for (int i = 0; i < shape_.end_marks; ++i) {
    basey.seekp(
        static_cast<std::streamoff>(Below(kRecords) * ProductRecord::kLength + ProductRecord::kEndMarkText.offset));
    basey.write("-FIN", 4);
  }
}

void Generator::WriteLines(const char* path, const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  Write(path, text);
}

void Generator::Write(const char* path, const std::string& bytes) {
  const fs::path host = root_ / "C" / path;
  fs::create_directories(host.parent_path());
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

void GenerateDataSet(const fs::path& drives_root, const DataSetShape& shape) { Generator(drives_root, shape).Run(); }

}  // namespace velmorin::bench
