// ChannelScope: the channels of one routine.
#include "convert/channel_scope.h"

#include <algorithm>

namespace velmorin {

ChannelScope::~ChannelScope() noexcept(false) {
  std::exception_ptr failure;
  for (const int channel : close_order_) {
    if (std::find(opened_.begin(), opened_.end(), channel) == opened_.end()) continue;
    try {
      channels_.Close(channel);
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure && std::uncaught_exceptions() == uncaught_) std::rethrow_exception(failure);
}

RecordFile& ChannelScope::Records(int channel, const std::string& path, size_t slot_length, size_t data_length) {
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

}  // namespace velmorin
