// ChannelScope and the lookup of listed codes.
#include "convert/conversion_pass.h"

#include <algorithm>

#include "common/val.h"

namespace velmorin {

ChannelScope::~ChannelScope() {
  for (const int channel : close_order_) {
    if (std::find(opened_.begin(), opened_.end(), channel) != opened_.end()) channels_.Close(channel);
  }
}

RecordFile& ChannelScope::Records(int channel, const std::string& path, size_t slot_length,
                                  size_t data_length) {
  channels_.Close(channel);
  RecordFile& file = channels_.OpenRecords(channel, path, slot_length, data_length);
  opened_.push_back(channel);
  return file;
}

TextInput& ChannelScope::Input(int channel, const std::string& path) {
  channels_.Close(channel);
  TextInput& input = channels_.OpenInput(channel, path);
  opened_.push_back(channel);
  return input;
}

std::optional<int64_t> LookupListedCode(RecordCache& basey, std::string_view code, CodeThreshold threshold) {
  if (threshold == CodeThreshold::kAbove500000) {
    const auto value = TryVal(code);
    if (!value || !(*value > 500000)) return std::nullopt;
  }
  if (code.empty() || code.size() >= 6) return LookupProduct(basey, code, CodeThreshold::kNone);
  // Trailing blanks never change a value, so the stem stays Val of the whole short code.
  std::string padded(code);
  padded.resize(5, ' ');
  padded += code.back();
  return LookupProduct(basey, padded, CodeThreshold::kNone);
}

}  // namespace velmorin
