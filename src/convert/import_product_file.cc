// ImportProductFile: the text is read whole and its codes resolved in one sweep over the index;
// then the lines are applied in order of product record, so that the four files are each
// read once from start to end in blocks, and only the changed records are written.
#include "convert/import_product_file.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "common/text.h"
#include "common/val.h"
#include "convert/conversion_pass.h"
#include "convert/records.h"

namespace velmorin {
namespace {

struct ProductFiles {
  RecordCache& labgt;
  RecordCache& coste;
  RecordCache& basey;
  RecordCache& basea;
};

// The column that feeds regionFlag; nothing keeps the stored flag.
std::optional<int64_t> RegionColumn(std::string_view suffix) {
  if (suffix == "MA") return 77;
  if (suffix == "NA") return 75;
  if (suffix == "EX") return 76;
  if (suffix == "CM") return 15;
  return std::nullopt;
}

struct Line {
  std::string_view text;
  std::string_view code;  // positions 1 to 6
  bool amount_allowed = false;
};

void UpdateLabGt(RecordCache& labgt, int64_t product, const Line& line) {
  auto record = CopyRecord<LabGtRecord::kSlotLength>(labgt.Get(product));
  if (!TextEquals(record, LabGtRecord::kCode, line.code)) return;
  SetText(record, LabGtRecord::kCol36Code, Mid(line.text, 36, 5));
  SetText(record, LabGtRecord::kCol41Code, Mid(line.text, 41, 5));
  labgt.Put(product, record);
}

// False when basea holds another product there, which also leaves basey alone.
bool UpdateDetail(RecordCache& basea, int64_t product, const Line& line) {
  using R = ProductDetailRecord;
  auto record = CopyRecord<R::kLength>(basea.Get(product));
  if (!TextEquals(record, R::kCode, line.code)) return false;
  const std::string_view text = line.text;
  SetText(record, R::kCol36Code, Mid(text, 36, 5));
  SetText(record, R::kCol10Flag, Mid(text, 10, 1));
  SetText(record, R::kCol11Flag, Mid(text, 11, 1));
  SetText(record, R::kCol12Flag, Mid(text, 12, 1));
  SetText(record, R::kCol13Flag, Mid(text, 13, 1));
  SetText(record, R::kCol41Code, Mid(text, 41, 5));
  SetText(record, R::kCol9Flag, Mid(text, 9, 1));
  SetText(record, R::kCol14Flag, Mid(text, 14, 1));
  if (line.amount_allowed) SetText(record, R::kAmountText, Mid(text, 27, 8));
  SetText(record, R::kCol7Code, Mid(text, 7, 2));
  basea.Put(product, record);
  return true;
}

void UpdateProduct(RecordCache& basey, int64_t product, const Line& line, std::optional<int64_t> region_column) {
  using R = ProductRecord;
  auto record = CopyRecord<R::kLength>(basey.Get(product));
  if (!TextEquals(record, R::kCode, line.code)) return;
  const std::string_view text = line.text;
  if (Mid(text, 13, 1) == "G") SetText(record, R::kGenericMark, "EFG");
  if (line.amount_allowed) SetText(record, R::kAmountText, Mid(text, 27, 8));
  SetText(record, R::kCol17Code, Mid(text, 17, 3));
  SetText(record, R::kCol20Code, Mid(text, 20, 2));
  SetText(record, R::kCol16Flag, Mid(text, 16, 1));
  if (region_column) SetText(record, R::kRegionFlag, Mid(text, *region_column, 1));
  SetText(record, R::kVisadoMark, Mid(text, 35, 1));
  basey.Put(product, record);
}

void ImportLine(ProductFiles& files, std::string_view text, int64_t product, std::optional<int64_t> region_column) {
  Line line{text, Left(text, 6)};
  // An amount too large for a number is passed over with its line, before anything is written.
  const auto amount = TryVal(Mid(text, 27, 8));
  if (!amount) return;
  line.amount_allowed = TextEquals(files.coste.Get(product), CostRecord::kAmountLock, " ") && *amount > 0;
  UpdateLabGt(files.labgt, product, line);
  if (!UpdateDetail(files.basea, product, line)) return;
  UpdateProduct(files.basey, product, line, region_column);
}

void ReleaseBefore(ProductFiles& files, int64_t product) {
  for (RecordCache* cache : {&files.labgt, &files.coste, &files.basey, &files.basea}) cache->Release(product);
}

// The part of a line that is read (nothing beyond column 77), kept with its product so that
// the lines can be put in block order and applied reading memory in order.
struct ProductLine {
  static constexpr size_t kColumns = 77;
  int64_t product = 0;
  size_t length = 0;
  std::array<char, kColumns> text;

  std::string_view View() const { return {text.data(), length}; }
};

std::vector<ProductLine> ReadLines(TextInput& input, RecordCache& basey) {
  std::vector<ProductLine> lines;
  std::vector<std::optional<IndexKey>> keys;
  while (auto line = input.Next()) {
    keys.push_back(ListedCodeKey(Left(*line, 6), CodeThreshold::kNone));
    ProductLine& kept = lines.emplace_back();
    kept.length = std::min(line->size(), ProductLine::kColumns);
    std::copy_n(line->data(), kept.length, kept.text.begin());
  }
  const auto products = ResolveProducts(basey, keys);
  size_t resolved = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!products[i]) continue;
    lines[resolved] = lines[i];
    lines[resolved++].product = *products[i];
  }
  lines.resize(resolved);
  return lines;
}

// Lines only touch the records of their own product, so applying them block by block, in file
// order within a block, leaves what applying them in file order does.
void ImportLines(ProductFiles& files, TextInput& input, std::optional<int64_t> region_column) {
  auto lines = ReadLines(input, files.basey);
  OrderByBlock(lines, [](const ProductLine& line) { return line.product; });
  for (const ProductLine& line : lines) {
    ReleaseBefore(files, line.product);
    ImportLine(files, line.View(), line.product, region_column);
  }
}

}  // namespace

void ImportProductFile(Channels& channels, const std::string& drive_prefix, const std::string& region_suffix) {
  ChannelScope scope(channels, {1, 3, 26, 211, 200});
  RecordCache labgt(scope.Records(200, "\\velmorin\\bases\\LabGT", LabGtRecord::kSlotLength, LabGtRecord::kLength));
  RecordCache coste(scope.Records(211, "\\velmorin\\bases\\coste", CostRecord::kLength));
  RecordCache basey(scope.Records(26, "\\velmorin\\quorra\\basey", ProductRecord::kLength));
  RecordCache basea(scope.Records(3, "\\velmorin\\quorra\\basea", ProductDetailRecord::kLength));
  // The archive extraction writes the text on the data drive, not always on C:.
  TextInput& input = scope.Input(1, drive_prefix + "\\velmorin\\bases\\dolvek.txt");
  ProductFiles files{labgt, coste, basey, basea};
  ImportLines(files, input, RegionColumn(region_suffix));
  labgt.Flush();
  basea.Flush();
  basey.Flush();
}

}  // namespace velmorin
