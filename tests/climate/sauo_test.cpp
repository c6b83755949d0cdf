// The climate window's fault list against replies the unit could not have built: more codes
// announced than carried, frames longer than the stored frame once held; and the code table.
#include <gtest/gtest.h>

#include "climate/sauo_form.h"
#include "link/fake_port.h"

namespace kd::climate {
namespace {

link::ReplyCopy Reply(std::vector<std::uint8_t> bytes) {
  link::ReplyCopy r{};
  std::copy(bytes.begin(), bytes.end(), r.begin());
  return r;
}

TEST(SauoCodes, OnlyTheCodesTheReplyCarries) {
  // Format 85: SID, count and one code.
  EXPECT_EQ(SauoCarriedCodes(Reply({0x85, 0xF1, 0xB1, 0x58, 0x09, 0x13, 0x75, 0x24})), 1u);
  EXPECT_EQ(SauoCarriedCodes(Reply({0x88, 0xF1, 0xB1, 0x58, 0x01, 0x13, 0x75, 0x24})), 1u);
  EXPECT_EQ(SauoCarriedCodes(Reply({0xBF, 0xF1, 0xB1, 0x58, 0xFF})), 20u);
  // A long-form or malformed header carries nothing readable as codes.
  EXPECT_EQ(SauoCarriedCodes(Reply({0x80, 0xF1, 0xB1, 0x58, 0x05})), 0u);
  EXPECT_EQ(SauoCarriedCodes(Reply({0x81, 0xF1, 0xB1, 0x58, 0x05})), 0u);
  // A format byte below 80 wraps to a length past any short frame: 63 service bytes at most.
  EXPECT_EQ(SauoCarriedCodes(Reply({0x7F, 0xF1, 0xB1, 0x58, 0xFF})), 20u);
}

TEST(SauoCodes, TableTextsArePaddedToTheirStoredWidth) {
  for (const SauoCode& row : kSauoCodes) {
    const auto chars = [](const std::string& s) {
      std::size_t n = 0;
      for (unsigned char c : s) n += (c & 0xC0) != 0x80;
      return n;
    };
    const std::string line = SauoCodeLine(row.code);
    EXPECT_EQ(line.rfind(row.text, 0), 0u);
    EXPECT_EQ(chars(line), std::max<std::size_t>(58, chars(row.text))) << row.text;
    EXPECT_EQ(line.find_last_not_of(' ') + 1, std::string(row.text).size());
  }
  EXPECT_EQ(SauoCodeLine(0x0000), "0000");
  EXPECT_EQ(SauoCodeLine(0xABCD), "ABCD");
}

TEST(SauoCodes, ChangeBeyondTheOldFrameSizeRebuildsTheList) {
  testing::FakePort port;
  link::PortHandle handle(port);
  std::uint32_t command = 0;
  SauoForm form(handle, command);
  std::vector<std::uint8_t> frame = {0xBE, 0xF1, 0xB1, 0x58, 20};
  for (int i = 0; i < 20; ++i) frame.insert(frame.end(), {0x13, 0x25, 0x00});
  const auto step = [&](const std::vector<std::uint8_t>& bytes) {
    auto& b = form.Buffer();
    std::fill(std::begin(b.receiveArea), std::end(b.receiveArea), 0);
    b.dataLength = 0;
    std::copy(bytes.begin(), bytes.end(), b.receiveArea);
    form.Step(b);
  };
  step(frame);
  auto* list = form.FindAs<view::ListBox>("ListBox1");
  ASSERT_EQ(list->Count(), 20);
  frame[62] = 0x18;
  frame[63] = 0x61;
  step(frame);
  EXPECT_EQ(list->Items()[19].rfind("1861 - ", 0), 0u);
}

}  // namespace
}  // namespace kd::climate
