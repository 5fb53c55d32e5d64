// The notified-price file BaseP: emptying its list before the download and rebuilding the
// file from the list after it.
#pragma once

#include <optional>
#include <string_view>

#include "convert/channels.h"
#include "convert/pass_limits.h"
#include "convert/progress.h"

namespace velmorin {

// Closes channel 1 and leaves "\velmorin\quorra\pvpnotificados.txt" empty (created or
// truncated), so that a failed download cannot leave last run's list behind.
void EmptyNotifiedPriceList(Channels& channels);

// The price a field of the list gives: its value rounded to cents as a 4-byte float; nothing
// when it is too large for one.
std::optional<float> NotifiedPrice(std::string_view text);

// An empty list changes nothing. Otherwise blanks records 1..limits.last_cleared of BaseP
// (channel 1), moving the start-up bar to k / 1,000 at every multiple k of 1,000, and writes
// each listed product's two prices, found through basey (channel 6). Reads the list on
// channel 2. Closes its channels before it returns.
void RebuildNotifiedPrices(Channels& channels, ConversionProgress& progress, const PassLimits& limits = {});

}  // namespace velmorin
