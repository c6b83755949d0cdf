// The tick the side windows share: what it writes, where it finds the reply, and the write texts
// in the order a window shows them.
#include <gtest/gtest.h>

#include "immo/aps4_form.h"
#include "link/fake_port.h"
#include "link/kwp.h"
#include "link/unit_tick.h"

namespace kd {
namespace {

TEST(UnitTick, FramesWithTheUnitsAddressesAndCountsTheFrameAlone) {
  link::ExchangeBuffer buffer;
  link::WriteKwpService(buffer, {0x30, 0x57, 0x06, 0x02});
  link::FrameUnitRequest(buffer, 0xC0, 0xF0);
  const std::vector<std::uint8_t> expected = {0x55, 0x56, 0x57, 0xAA, 0x0D, 0x84, 0xC0,
                                              0xF0, 0x30, 0x57, 0x06, 0x02, 0xC3};
  EXPECT_EQ(buffer.dataLength, 8);
  EXPECT_EQ(std::vector<std::uint8_t>(buffer.transmitFrame, buffer.transmitFrame + 13), expected);
}

TEST(UnitTick, ReplyStandsBehindTheEchoAndReadsZeroPastTheArea) {
  link::ExchangeBuffer buffer;
  buffer.dataLength = 6;
  buffer.receiveArea[6] = 0x83;
  buffer.receiveArea[255] = 0x77;
  EXPECT_EQ(link::UnitReply(buffer)[0], 0x83);
  buffer.dataLength = 250;
  const link::ReplyCopy tail = link::UnitReply(buffer);
  EXPECT_EQ(tail[5], 0x77);
  EXPECT_EQ(tail[6], 0);
  EXPECT_EQ(tail[239], 0);
}

TEST(UnitTick, WriteTextsInTheOrderTheWindowShowsThem) {
  testing::FakePort port;
  port.Open(1);
  link::PortHandle handle(port);
  std::uint32_t command = 0;
  immo::Aps4Form form(handle, command);
  auto* status = form.FindAs<view::StatusBar>("StatusBar1");
  std::vector<std::string> seen;
  status->OnText = [&](int panel, const std::string& text) {
    seen.push_back(std::to_string(panel) + " " + text);
  };
  const auto tick = [&](link::WriteStatus result, bool completes) {
    seen.clear();
    port.writeResult = result;
    port.pendingCompletes = completes;
    form.Timer1().Fire();
    return seen;
  };
  EXPECT_EQ(tick(link::WriteStatus::Written, true), std::vector<std::string>{"0 Send Message"});
  EXPECT_EQ(tick(link::WriteStatus::Pending, true),
            (std::vector<std::string>{"0 Error write port by delayed.", "0 Send Message"}));
  EXPECT_EQ(tick(link::WriteStatus::Pending, false),
            std::vector<std::string>{"0 Error write port by delayed."});
  EXPECT_EQ(tick(link::WriteStatus::Failed, true), std::vector<std::string>{"0 Error write port."});
  // Every tick wrote its frame whole: the envelope's count is what went out.
  for (const auto& w : port.writes) EXPECT_EQ(w.size(), w.at(4));
}

}  // namespace
}  // namespace kd
