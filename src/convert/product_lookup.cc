// The product lookup over basey's index slots.
#include "convert/product_lookup.h"

#include "common/text.h"
#include "common/val.h"
#include "convert/records.h"

namespace velmorin {

std::optional<CodeParts> SplitNationalCode(std::string_view code) {
  const auto stem = TryVal(Left(code, 5));
  if (!stem) return std::nullopt;
  CodeParts parts;
  parts.stem = *stem;
  const std::string_view check = Mid(code, 6, 1);
  parts.digit = check.size() == 1 && check[0] >= '0' && check[0] <= '9' ? check[0] - '0' : 0;
  return parts;
}

std::optional<int64_t> ProductInSlot(std::span<const char> stem_record, int digit) {
  const TextField slot = ProductRecord::IndexSlot(digit);
  const auto product = TryVal(std::string_view(stem_record.data() + slot.offset, slot.width));
  if (!product || !(*product > 0)) return std::nullopt;
  return AddressableRecord(*product, kLongestProductRecord);
}

}  // namespace velmorin
