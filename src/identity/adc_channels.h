// The ADC page's channel list of every controller type: what each row of StringGrid2 shows, where
// its value stands in the controller's answer and how it is scaled. Static data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kd::identity {

// One channel, laid out as the tables hold it. Texts are Windows-1251, NUL-terminated.
struct AdcChannel {
  char channelName[25] = {};
  std::uint8_t channelWidth = 0;  // 1: one byte; anything else: two bytes (types 6 and 8)
  // Position in the data answer (types 6, 8), low address byte (3, 7) or request code (4).
  std::uint8_t channelPos = 0;
  std::uint8_t reserved = 0;
  float channelScale = 0;
  float channelOffset = 0;
  char channelHint[256] = {};
};

static_assert(sizeof(AdcChannel) == 292);
static_assert(offsetof(AdcChannel, channelWidth) == 25);
static_assert(offsetof(AdcChannel, channelPos) == 26);
static_assert(offsetof(AdcChannel, channelScale) == 28);
static_assert(offsetof(AdcChannel, channelOffset) == 32);
static_assert(offsetof(AdcChannel, channelHint) == 36);

// AdcChannelCount channels of the type, in row order (type 1's for a code outside 1..11).
std::span<const AdcChannel> AdcChannels(std::uint32_t ecuType);

// The name and hint as the screen shows them.
std::string ChannelNameText(const AdcChannel& channel);
std::string ChannelHintText(const AdcChannel& channel);

}  // namespace kd::identity
