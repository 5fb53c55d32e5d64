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
#include "convert/block_order.h"
#include "convert/channel_scope.h"
#include "convert/product_keys.h"
#include "convert/record_draft.h"
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
  std::string_view text;                   // columns 1 to 45 at most
  std::string_view code;                   // columns 1 to 6
  std::optional<std::string_view> region;  // the region column; nothing keeps the flag
  bool amount_allowed = false;
};

void UpdateLabGt(RecordCache& labgt, int64_t product, const Line& line) {
  RecordDraft<LabGtRecord::kSlotLength> record(labgt.Get(product));
  if (!TextEquals(record.bytes(), LabGtRecord::kCode, line.code)) return;
  record.SetText(LabGtRecord::kCol36Code, Mid(line.text, 36, 5));
  record.SetText(LabGtRecord::kCol41Code, Mid(line.text, 41, 5));
  labgt.Put(product, record);
}

// False when basea holds another product there, which also leaves basey alone.
bool UpdateDetail(RecordCache& basea, int64_t product, const Line& line) {
  using R = ProductDetailRecord;
  RecordDraft<R::kLength> record(basea.Get(product));
  if (!TextEquals(record.bytes(), R::kCode, line.code)) return false;
  const std::string_view text = line.text;
  record.SetText(R::kCol36Code, Mid(text, 36, 5));
  record.SetText(R::kCol10Flag, Mid(text, 10, 1));
  record.SetText(R::kCol11Flag, Mid(text, 11, 1));
  record.SetText(R::kCol12Flag, Mid(text, 12, 1));
  record.SetText(R::kCol13Flag, Mid(text, 13, 1));
  record.SetText(R::kCol41Code, Mid(text, 41, 5));
  record.SetText(R::kCol9Flag, Mid(text, 9, 1));
  record.SetText(R::kCol14Flag, Mid(text, 14, 1));
  if (line.amount_allowed) record.SetText(R::kAmountText, Mid(text, 27, 8));
  record.SetText(R::kCol7Code, Mid(text, 7, 2));
  basea.Put(product, record);
  return true;
}

void UpdateProduct(RecordCache& basey, int64_t product, const Line& line) {
  using R = ProductRecord;
  RecordDraft<R::kLength> record(basey.Get(product));
  if (!TextEquals(record.bytes(), R::kCode, line.code)) return;
  const std::string_view text = line.text;
  if (Mid(text, 13, 1) == "G") record.SetText(R::kGenericMark, "EFG");
  if (line.amount_allowed) record.SetText(R::kAmountText, Mid(text, 27, 8));
  record.SetText(R::kCol17Code, Mid(text, 17, 3));
  record.SetText(R::kCol20Code, Mid(text, 20, 2));
  record.SetText(R::kCol16Flag, Mid(text, 16, 1));
  if (line.region) record.SetText(R::kRegionFlag, *line.region);
  record.SetText(R::kVisadoMark, Mid(text, 35, 1));
  basey.Put(product, record);
}

// What is read of a line: columns 1 to 45 and the region column, kept with the product so
// that the lines can be put in block order and applied reading memory in order.
struct ProductLine {
  static constexpr size_t kColumns = 45;
  int64_t product = 0;
  uint8_t length = 0;
  uint8_t region_length = 0;  // 0 when the line ends before the region column
  char region = ' ';
  std::array<char, kColumns> text;

  void Keep(std::string_view line, std::optional<int64_t> region_column) {
    length = static_cast<uint8_t>(std::min(line.size(), kColumns));
    std::copy_n(line.data(), length, text.begin());
    if (!region_column) return;
    const std::string_view column = Mid(line, *region_column, 1);
    region_length = static_cast<uint8_t>(column.size());
    if (!column.empty()) region = column[0];
  }
};

void ImportLine(ProductFiles& files, const ProductLine& kept, bool sets_region) {
  const std::string_view text(kept.text.data(), kept.length);
  Line line{text, Left(text, 6)};
  if (sets_region) line.region = std::string_view(&kept.region, kept.region_length);
  const int64_t product = kept.product;
  UpdateLabGt(files.labgt, product, line);
  if (!TextEquals(files.basea.Get(product), ProductDetailRecord::kCode, line.code)) return;
  // The amount is first looked at for basea: one too large for a number passes over the
  // rest of its line, LabGT having been written already.
  const auto amount = TryVal(Mid(text, 27, 8));
  if (!amount) return;
  line.amount_allowed = TextEquals(files.coste.Get(product), CostRecord::kAmountLock, " ") && *amount > 0;
  if (!UpdateDetail(files.basea, product, line)) return;
  UpdateProduct(files.basey, product, line);
}

void ReleaseBefore(ProductFiles& files, int64_t product) {
  for (RecordCache* cache : {&files.labgt, &files.coste, &files.basey, &files.basea}) cache->Release(product);
}

std::vector<ProductLine> ReadLines(TextInput& input, RecordCache& basey, std::optional<int64_t> region_column,
                                   int64_t block_records) {
  std::vector<ProductLine> lines;
  std::vector<std::optional<IndexKey>> keys;
  while (auto line = input.Next()) {
    keys.push_back(ListedCodeKey(Left(*line, 6), CodeThreshold::kNone));
    lines.emplace_back().Keep(*line, region_column);
  }
  const auto products = ResolveProducts(basey, keys, block_records);
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
void ImportLines(ProductFiles& files, TextInput& input, std::optional<int64_t> region_column, int64_t block_records) {
  auto lines = ReadLines(input, files.basey, region_column, block_records);
  const auto product_of = [](const ProductLine& line) { return line.product; };
  OrderByBlock(lines, product_of, block_records);
  for (const ProductLine& line : lines) {
    ReleaseBefore(files, line.product);
    ImportLine(files, line, region_column.has_value());
  }
}

}  // namespace

void ImportProductFile(Channels& channels, const std::string& drive_prefix, const std::string& region_suffix,
                       const PassLimits& limits) {
  ChannelScope scope(channels, {1, 3, 26, 211, 200});
  RecordCache labgt(scope.Records(200, "\\velmorin\\bases\\LabGT", LabGtRecord::kSlotLength, LabGtRecord::kLength),
                    limits.block_records);
  RecordCache coste(scope.Records(211, "\\velmorin\\bases\\coste", CostRecord::kLength), limits.block_records);
  RecordCache basey(scope.Records(26, "\\velmorin\\quorra\\basey", ProductRecord::kLength), limits.block_records);
  RecordCache basea(scope.Records(3, "\\velmorin\\quorra\\basea", ProductDetailRecord::kLength), limits.block_records);
  // The archive extraction writes the text on the data drive, not always on C:.
  TextInput& input = scope.Input(1, drive_prefix + "\\velmorin\\bases\\dolvek.txt");
  ProductFiles files{labgt, coste, basey, basea};
  ImportLines(files, input, RegionColumn(region_suffix), limits.block_records);
  labgt.Flush();
  basea.Flush();
  basey.Flush();
}

}  // namespace velmorin
