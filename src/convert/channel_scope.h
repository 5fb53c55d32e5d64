// The channels a routine opens, closed when it ends.
#pragma once

#include <exception>
#include <initializer_list>
#include <string>
#include <vector>

#include "convert/channels.h"

namespace velmorin {

// Closes the channels a routine opened when it ends, also when it throws, so that a failed
// routine leaves no file of its own open on the channel table. A write that fails while they
// close is thrown, unless the routine is already ending with a failure of its own.
class ChannelScope {
 public:
  ChannelScope(Channels& channels, std::initializer_list<int> close_order)
      : channels_(channels), close_order_(close_order) {}
  ~ChannelScope() noexcept(false);
  ChannelScope(const ChannelScope&) = delete;
  ChannelScope& operator=(const ChannelScope&) = delete;

  // Each closes the channel first, as every routine does before it opens one.
  RecordFile& Records(int channel, const std::string& path, size_t slot_length, size_t data_length = 0);
  TextInput& Input(int channel, const std::string& path);

 private:
  Channels& channels_;
  std::vector<int> close_order_;
  std::vector<int> opened_;
  const int uncaught_ = std::uncaught_exceptions();
};

}  // namespace velmorin
