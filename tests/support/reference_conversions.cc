// Record-by-record conversions: clearing pass, then the list, in the order the routines are
// described, with whole-record codecs.
#include "support/reference_conversions.h"

#include <optional>
#include <vector>

#include "common/numbers.h"
#include "common/text.h"
#include "common/val.h"
#include "convert/product_lookup.h"
#include "support/record_codecs.h"

namespace velmorin::reference {
namespace {

constexpr int64_t kPassEnd = 99999;

class Closer {
 public:
  Closer(Channels& channels, std::vector<int> channels_to_close)
      : channels_(channels), to_close_(std::move(channels_to_close)) {}
  ~Closer() {
    for (int c : to_close_) channels_.Close(c);
  }

 private:
  Channels& channels_;
  std::vector<int> to_close_;
};

RecordFile& Reopen(Channels& channels, int channel, const std::string& path, size_t slot, size_t data = 0) {
  channels.Close(channel);
  return channels.OpenRecords(channel, path, slot, data);
}

TextInput& ReopenInput(Channels& channels, int channel, const std::string& path) {
  channels.Close(channel);
  return channels.OpenInput(channel, path);
}

template <class R>
R ReadRecord(RecordFile& file, int64_t n) {
  std::vector<char> bytes(file.slot_length());
  file.Read(n, bytes);
  return R::Decode(bytes);
}

template <class R>
void WriteRecord(RecordFile& file, int64_t n, const R& record) {
  std::vector<char> bytes(file.slot_length());
  record.Encode(bytes);
  file.Write(n, bytes);
}

// stem = Val(first five characters), digit = Val(check character), then the index slot.
std::optional<int64_t> Lookup(RecordFile& basey, std::string_view code, char check) {
  const auto stem = TryVal(Left(code, 5));
  if (!stem || !(*stem > 0)) return std::nullopt;
  const auto stem_record = AddressableRecord(*stem, ProductRecord::kLength);
  if (!stem_record) return std::nullopt;
  const int digit = static_cast<int>(Val(std::string(1, check)));
  const auto index = ReadRecord<test_support::ProductFields>(basey, *stem_record);
  const auto product = TryVal(index.indexSlots[static_cast<size_t>(digit)]);
  if (!product || !(*product > 0)) return std::nullopt;
  return AddressableRecord(*product, kLongestProductRecord);
}

// The import routines' lookup: the check digit is the code's last character.
std::optional<int64_t> LookupCode(RecordFile& basey, std::string_view code, bool above_500000) {
  if (above_500000) {
    const auto value = TryVal(code);
    if (!value || !(*value > 500000)) return std::nullopt;
  }
  return Lookup(basey, code, code.empty() ? '0' : code.back());
}

}  // namespace

void ClearEndMarks(Channels& channels, ConversionProgress& progress) {
  Closer closer(channels, {3, 6});
  Reopen(channels, 3, "\\velmorin\\Quorra\\basea", ProductDetailRecord::kLength);
  RecordFile& basey = Reopen(channels, 6, "\\velmorin\\quorra\\basey", ProductRecord::kLength);
  for (int64_t i = 1; i <= kPassEnd; ++i) {
    if (i % 1000 == 0) {
      progress.SetDialogBar(static_cast<int>(i / 1000));
      progress.SetStartupBar(static_cast<int>(i / 1000));
    }
    auto record = ReadRecord<test_support::ProductFields>(basey, i);
    if (Left(record.endMarkText, 4) != "-FIN") continue;
    record.endMarkText = "";
    WriteRecord(basey, i, record);
  }
}

namespace {

struct ProductFileChannels {
  RecordFile& labgt;
  RecordFile& coste;
  RecordFile& basey;
  RecordFile& basea;
};

void ImportProductLine(ProductFileChannels& f, const std::string& line, const std::string& suffix) {
  const std::string code(Left(line, 6));
  const auto p = LookupCode(f.basey, code, false);
  if (!p) return;
  auto detail = ReadRecord<test_support::ProductDetailFields>(f.basea, *p);
  const auto cost = ReadRecord<test_support::CostFields>(f.coste, *p);
  auto lab = ReadRecord<test_support::LabGtFields>(f.labgt, *p);
  if (lab.code == code) {
    lab.col36Code = Mid(line, 36, 5);
    lab.col41Code = Mid(line, 41, 5);
    WriteRecord(f.labgt, *p, lab);
  }
  if (detail.code != code) return;
  const auto amount_value = TryVal(Mid(line, 27, 8));
  if (!amount_value) return;
  const bool amount_ok = cost.amountLock == " " && *amount_value > 0;
  const std::string amount(Mid(line, 27, 8));
  detail.col36Code = Left(Mid(line, 36, 5), 4);
  detail.col10Flag = Mid(line, 10, 1);
  detail.col11Flag = Mid(line, 11, 1);
  detail.col12Flag = Mid(line, 12, 1);
  detail.col13Flag = Mid(line, 13, 1);
  detail.col41Code = Left(Mid(line, 41, 5), 3);
  detail.col9Flag = Mid(line, 9, 1);
  detail.col14Flag = Mid(line, 14, 1);
  if (amount_ok) detail.amountText = amount;
  detail.col7Code = Mid(line, 7, 2);
  WriteRecord(f.basea, *p, detail);
  auto product = ReadRecord<test_support::ProductFields>(f.basey, *p);
  if (product.code != code) return;
  if (Mid(line, 13, 1) == "G") product.genericMark = "EFG";
  if (amount_ok) product.amountText = amount;
  product.col17Code = Mid(line, 17, 3);
  product.col20Code = Mid(line, 20, 2);
  product.col16Flag = Mid(line, 16, 1);
  if (suffix == "MA") {
    product.regionFlag = Mid(line, 77, 1);
  } else if (suffix == "NA") {
    product.regionFlag = Mid(line, 75, 1);
  } else if (suffix == "EX") {
    product.regionFlag = Mid(line, 76, 1);
  } else if (suffix == "CM") {
    product.regionFlag = Mid(line, 15, 1);
  }
  product.visadoMark = Mid(line, 35, 1);
  WriteRecord(f.basey, *p, product);
}

}  // namespace

void ImportProductFile(Channels& channels, const std::string& drive_prefix, const std::string& region_suffix) {
  Closer closer(channels, {1, 3, 26, 211, 200});
  ProductFileChannels f{
      Reopen(channels, 200, "\\velmorin\\bases\\LabGT", LabGtRecord::kSlotLength, LabGtRecord::kLength),
      Reopen(channels, 211, "\\velmorin\\bases\\coste", CostRecord::kLength),
      Reopen(channels, 26, "\\velmorin\\quorra\\basey", ProductRecord::kLength),
      Reopen(channels, 3, "\\velmorin\\quorra\\basea", ProductDetailRecord::kLength)};
  TextInput& input = ReopenInput(channels, 1, drive_prefix + "\\velmorin\\bases\\dolvek.txt");
  while (auto line = input.Next()) ImportProductLine(f, *line, region_suffix);
}

void ImportVisadoList(Channels& channels) {
  Closer closer(channels, {1, 3, 6});
  Reopen(channels, 3, "\\velmorin\\Quorra\\basea", ProductDetailRecord::kLength);
  RecordFile& basey = Reopen(channels, 6, "\\velmorin\\quorra\\basey", ProductRecord::kLength);
  TextInput& list = ReopenInput(channels, 1, "\\VELMORIN\\VISADO75.TXT");
  for (int64_t i = 1; i <= kPassEnd; ++i) {
    auto record = ReadRecord<test_support::ProductFields>(basey, i);
    if (record.visadoMark != "7") continue;
    record.visadoMark = "";
    WriteRecord(basey, i, record);
  }
  while (auto line = list.Next()) {
    const auto p = LookupCode(basey, Left(*line, 6), true);
    if (!p) continue;
    auto record = ReadRecord<test_support::ProductFields>(basey, *p);
    record.visadoMark = "7";
    WriteRecord(basey, *p, record);
  }
}

void ImportSerializationList(Channels& channels) {
  Closer closer(channels, {1, 160, 6});
  RecordFile& basey = Reopen(channels, 6, "\\velmorin\\quorra\\basey", ProductRecord::kLength);
  RecordFile& baseext = Reopen(channels, 160, "\\Velmorin\\quorra\\baseext", ProductExtRecord::kLength);
  TextInput& list = ReopenInput(channels, 1, "\\Velmorin\\bases\\serializacion.txt");
  for (int64_t i = 1; i <= kPassEnd; ++i) {
    auto record = ReadRecord<test_support::ProductExtFields>(baseext, i);
    record.serializationDate = "";
    record.serializationFlag = "0";
    WriteRecord(baseext, i, record);
  }
  while (auto line = list.Next()) {
    const auto p = LookupCode(basey, Mid(*line, 2, 6), true);
    if (!p) continue;
    auto record = ReadRecord<test_support::ProductExtFields>(baseext, *p);
    record.serializationDate =
        std::string(Mid(*line, 105, 4)) + std::string(Mid(*line, 110, 2)) + std::string(Mid(*line, 113, 2));
    record.serializationFlag = Left(*line, 1);
    WriteRecord(baseext, *p, record);
  }
}

void BuildPreferencePrices(Channels& channels) {
  Closer closer(channels, {108, 132, 6});
  RecordFile& precios = Reopen(channels, 132, "\\Velmorin\\preferencia\\precios", PreferencePriceRecord::kLength);
  RecordFile& basey = Reopen(channels, 6, "\\velmorin\\quorra\\basey", ProductRecord::kLength);
  for (int64_t i = 1; i <= kPassEnd; ++i) {
    auto record = ReadRecord<test_support::PreferencePriceFields>(precios, i);
    record.firstValue = record.secondValue = record.thirdValue = record.fourthValue = 0;
    record.priceMark = "";
    WriteRecord(precios, i, record);
  }
  RecordFile& espec = Reopen(channels, 108, "\\VELMORIN\\Preferencia\\espec", SpecRecord::kLength);
  const double n = static_cast<double>(espec.Size()) / SpecRecord::kLength;
  for (int64_t j = 1; static_cast<double>(j) <= n; ++j) {
    const auto spec = ReadRecord<test_support::SpecFields>(espec, j);
    const auto p = LookupCode(basey, spec.code, true);
    if (!p) continue;
    std::optional<float> values[4];
    const std::string* texts[] = {&spec.firstValue, &spec.secondValue, &spec.thirdValue, &spec.fourthValue};
    bool fits = true;
    for (int k = 0; k < 4; ++k) {
      const auto v = TryVal(*texts[k]);
      values[k] = v ? ToFloat32(*v) : std::nullopt;
      fits = fits && values[k].has_value();
    }
    if (!fits) continue;
    auto record = ReadRecord<test_support::PreferencePriceFields>(precios, *p);
    record.firstValue = *values[0];
    record.secondValue = *values[1];
    record.thirdValue = *values[2];
    record.fourthValue = *values[3];
    WriteRecord(precios, *p, record);
  }
}

void RebuildNotifiedPrices(Channels& channels, ConversionProgress& progress) {
  const std::string list_path = "\\velmorin\\quorra\\pvpnotificados.txt";
  if (channels.fs().FileLength(list_path) == 0) return;
  Closer closer(channels, {1, 2, 6});
  RecordFile& basey = Reopen(channels, 6, "\\velmorin\\quorra\\basey", ProductRecord::kLength);
  RecordFile& basep = Reopen(channels, 1, "\\velmorin\\quorra\\BaseP", NotifiedPriceRecord::kLength);
  test_support::NotifiedPriceFields work;
  work.extraText = "";
  for (int64_t k = 1; k <= kPassEnd; ++k) {
    WriteRecord(basep, k, work);
    if (k % 1000 == 0) progress.SetStartupBar(static_cast<int>(k / 1000));
  }
  TextInput& list = ReopenInput(channels, 2, list_path);
  while (auto line = list.Next()) {
    const std::string text = *line;
    const auto p = Lookup(basey, Left(text, 6), text.size() >= 6 ? text[5] : ' ');
    if (!p) continue;
    const auto second_value = TryVal(Mid(text, 8, 8));
    const auto first_value = TryVal(Right(text, 8));
    const auto second = second_value ? RoundToCents(*second_value) : std::nullopt;
    const auto first = first_value ? RoundToCents(*first_value) : std::nullopt;
    if (!first || !second) continue;
    work = ReadRecord<test_support::NotifiedPriceFields>(basep, *p);
    work.firstPrice = *first;
    work.secondPrice = *second;
    WriteRecord(basep, *p, work);
  }
}

}  // namespace velmorin::reference
