// Fuzzes ImportProductFile over an arbitrary product text file and small sparse record files,
// against the record-by-record baseline.
#include "convert/import_product_file.h"

#include "convert/records.h"
#include "fuzz/fuzz_support.h"
#include "support/reference_conversions.h"

namespace velmorin::fuzz {
namespace {

using PR = ProductRecord;
using DR = ProductDetailRecord;
using LR = LabGtRecord;

const std::string kLabGt = "C:\\velmorin\\bases\\LabGT";
const std::string kCoste = "C:\\velmorin\\bases\\coste";
const std::string kBasey = "C:\\velmorin\\quorra\\basey";
const std::string kBasea = "C:\\velmorin\\quorra\\basea";
const std::string kText = "C:\\velmorin\\bases\\dolvek.txt";

struct Run {
  std::string prefix;
  std::string suffix;
};

void CheckCase(const Files& before, const Run& run) {
  const auto routine = [&run](Channels& c) { ImportProductFile(c, run.prefix, run.suffix, kLimits); };
  const auto after = RunTwice(before, routine, "ImportProductFile");
  if (!after) return;
  CheckUntouched(kCoste, before.at(kCoste), after->at(kCoste));
  Check(after->at(kText) == before.at(kText), "the product file changed");
  CheckRecordFile(kBasey, before.at(kBasey), after->at(kBasey),
                  {.slot_length = PR::kLength,
                   .data_length = PR::kLength,
                   .writable = {PR::kAmountText, PR::kVisadoMark, PR::kCol17Code, PR::kGenericMark, PR::kCol20Code,
                                PR::kRegionFlag, PR::kCol16Flag}});
  CheckRecordFile(kBasea, before.at(kBasea), after->at(kBasea),
                  {.slot_length = DR::kLength,
                   .data_length = DR::kLength,
                   .writable = {DR::kCol36Code, DR::kCol10Flag, DR::kCol11Flag, DR::kCol12Flag, DR::kCol13Flag,
                                DR::kCol41Code, DR::kCol9Flag, DR::kCol14Flag, DR::kAmountText, DR::kCol7Code}});
  CheckRecordFile(
      kLabGt, before.at(kLabGt), after->at(kLabGt),
      {.slot_length = LR::kSlotLength, .data_length = LR::kLength, .writable = {LR::kCol36Code, LR::kCol41Code}});
  const auto reference = RunOn(
      before, [&run](Channels& c) { reference::ImportProductFile(c, run.prefix, run.suffix); }, "baseline");
  Check(reference.has_value(), "the baseline grew a file beyond the cap where the routine did not");
  CheckSameFiles(*after, *reference, "ImportProductFile against the record-by-record baseline");
}

}  // namespace
}  // namespace velmorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmorin::fuzz;
  FuzzReader in(data, size);
  const uint8_t flags = in.Byte();
  const char* const suffixes[] = {"NA", "CM", "EX", "MA", "XX"};
  const Run run{(flags & 8) != 0 ? "C:" : "", suffixes[(flags & 7) % 5]};
  const Files files = ReadFiles(in,
                                {{kLabGt, velmorin::LabGtRecord::kSlotLength},
                                 {kCoste, velmorin::CostRecord::kLength},
                                 {kBasey, velmorin::ProductRecord::kLength},
                                 {kBasea, velmorin::ProductDetailRecord::kLength}},
                                kText);
  CheckCase(files, run);
  return 0;
}
