// The channel tables: one row per channel the catalogue counts, texts kept whole.
#include "identity/adc_channels.h"

#include <gtest/gtest.h>

#include "catalogue/ecu_catalogue.h"

namespace kd::identity {
namespace {

TEST(AdcChannels, EveryTypeHasItsCatalogueCountAndNamesFitTheirField) {
  for (const auto& info : catalogue::AllTypes()) {
    const auto channels = AdcChannels(info.code);
    ASSERT_EQ(static_cast<int>(channels.size()), info.adcChannelCount) << info.code;
    for (const auto& c : channels) {
      EXPECT_FALSE(ChannelNameText(c).empty()) << info.code;
      EXPECT_FALSE(ChannelHintText(c).empty()) << info.code;
    }
  }
  EXPECT_EQ(AdcChannels(0).data(), AdcChannels(1).data()) << "unknown codes take type 1's";
  // Twenty-five characters fill the name field with no terminator and are shown whole.
  EXPECT_EQ(ChannelNameText(AdcChannels(8)[0]), "Дат. ТОЖ.    (pADCSMCOLT)");
  EXPECT_EQ(ChannelNameText(AdcChannels(7)[10]), "Код АЦП дат. О2 после Н");
  EXPECT_EQ(ChannelHintText(AdcChannels(8)[14]),
            "Напряжение насыщения ключа зажигания 1 (катушка 1 цил или катушка 1,4 цил).");
}

TEST(AdcChannels, PositionsAndScalesAreTheControllersOwn) {
  std::string codes;
  for (const auto& c : AdcChannels(4)) codes.push_back(static_cast<char>(c.channelPos));
  EXPECT_EQ(codes, "AGHMIJKLNO");
  const auto m797 = AdcChannels(6);
  EXPECT_EQ(m797[0].channelWidth, 2);
  EXPECT_FLOAT_EQ(m797[0].channelScale, 0.0176f);
  EXPECT_FLOAT_EQ(m797[3].channelScale, 7.629395e-05f);
  EXPECT_FLOAT_EQ(m797[8].channelOffset, -6.25f);
  EXPECT_EQ(m797[11].channelPos, 19);
  const auto mp70e3 = AdcChannels(7);
  EXPECT_EQ(mp70e3[10].channelPos, 18);
  EXPECT_EQ(ChannelNameText(AdcChannels(1)[4]), "Код АЦП канала Пот. СО.");
  EXPECT_EQ(ChannelNameText(AdcChannels(2)[4]), "Код АЦП канала дат. О2.");
  EXPECT_EQ(ChannelNameText(AdcChannels(9)[10]), "Код АЦП датчика ТВозд.");
  EXPECT_EQ(ChannelHintText(AdcChannels(5)[0]), "Коды АЦП недоступны в данном проекте.");
  EXPECT_FLOAT_EQ(AdcChannels(8)[9].channelScale, 4.0f);
}

}  // namespace
}  // namespace kd::identity
