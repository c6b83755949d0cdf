// The three windows' steps on random replies: whatever arrives, each sends one of its own
// requests, framed right, and its views stay within what the unit can report. Run under the
// sanitizers this also shows that no decoder reads or writes outside its buffers.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "climate/sauo_form.h"
#include "immo/aps4_form.h"
#include "immo/aps6_form.h"
#include "link/fake_port.h"
#include "link/unit_tick.h"

namespace kd {
namespace {

using Service = std::vector<std::uint8_t>;

// The service of the frame the step left, after checking envelope, header and checksum.
Service SentService(const link::ExchangeBuffer& b, std::uint8_t target, std::uint8_t source) {
  const auto& f = b.transmitFrame;
  const std::size_t length = b.dataLength;
  EXPECT_GE(length, 5u);
  EXPECT_EQ(f[4], length + 5);
  EXPECT_EQ(f[5], 0x80 + length - 4);
  EXPECT_EQ(f[6], target);
  EXPECT_EQ(f[7], source);
  std::uint8_t sum = 0;
  for (std::size_t i = 5; i < length + 4; ++i) sum = static_cast<std::uint8_t>(sum + f[i]);
  EXPECT_EQ(f[length + 4], sum);
  return Service(f + 8, f + length + 4);
}

class RandomReplies : public ::testing::Test {
 protected:
  // Random bytes, often with a reply header of the window's unit and one of its SIDs behind
  // the echo, so that every decoder gets its share.
  void Fill(link::ExchangeBuffer& b, std::uint8_t unit, std::uint8_t tester, const Service& sids) {
    b.dataLength = static_cast<std::uint8_t>(rng() % 3 == 0 ? rng() : rng() % 14);
    for (auto& x : b.receiveArea) x = static_cast<std::uint8_t>(rng());
    if (rng() % 4 != 0) {
      const std::size_t at = b.dataLength;
      link::Put(b.receiveArea, at + 1, tester);
      link::Put(b.receiveArea, at + 2, unit);
      link::Put(b.receiveArea, at + 3, sids[rng() % sids.size()]);
      if (rng() % 2) link::Put(b.receiveArea, at, static_cast<std::uint8_t>(0x80 + rng() % 64));
    }
  }
  std::mt19937 rng{20240101};
  testing::FakePort port;
  link::PortHandle handle{port};
};

TEST_F(RandomReplies, Aps4) {
  std::uint32_t command = 0;
  immo::Aps4Form form(handle, command);
  const std::set<Service> allowed = {{0x1A, 0x80},
                                     {0x18, 0x00},
                                     {0x21, 0x23},
                                     {0x21, 0x53},
                                     {0x21, 0x54},
                                     {0x30, 0x80, 0x01},
                                     {0x30, 0x61, 0x01},
                                     {0x30, 0x81, 0x01},
                                     {0x14},
                                     {0x30, 0x57, 0x06, 0x02},
                                     {0x30, 0x81, 0x06, 0x00},
                                     {0x30, 0x81, 0x06, 0x01},
                                     {0x30, 0x61, 0x06, 0x00},
                                     {0x30, 0x61, 0x06, 0x01},
                                     {0x30, 0x56, 0x01}};
  const char* buttons[] = {"Button1", "Button3", "Button5", "Button6", "Button4"};
  for (int i = 0; i < 20000; ++i) {
    if (rng() % 8 == 0) form.FindAs<view::Button>(buttons[rng() % 5])->Click();
    Fill(form.Buffer(), 0xC0, 0xF0, {0x5A, 0x58, 0x61, 0x70, 0x7F, 0x54});
    form.Step(form.Buffer());
    EXPECT_EQ(command, 0u);
    EXPECT_TRUE(allowed.contains(SentService(form.Buffer(), 0xC0, 0xF0)));
    ASSERT_EQ(form.FindAs<view::Memo>("Memo8")->Count(), 1);
    ASSERT_LE(form.FindAs<view::Memo>("Memo4")->Count(), 15);
    ASSERT_LE(form.FindAs<view::Memo>("Memo3")->Count(), 7);
  }
}

TEST_F(RandomReplies, Aps6) {
  immo::Aps6Form form(handle);
  std::set<Service> allowed = {{0x1A, 0x80}, {0x1A, 0x93}, {0x18, 0x00}, {0x21, 0x23},
                               {0x21, 0x53}, {0x21, 0x54}, {0x14}};
  for (const auto& io : immo::kAps6Io) {
    allowed.insert({0x30, io.id, 0x01});
    if (io.output) {
      allowed.insert({0x30, io.id, 0x06, 0x00});
      allowed.insert({0x30, io.id, 0x06, 0x01});
    }
  }
  auto* combo = form.FindAs<view::ComboBox>("ComboBox1");
  auto* button1 = form.FindAs<view::Button>("Button1");
  for (int i = 0; i < 20000; ++i) {
    if (rng() % 16 == 0) {
      combo->Select(static_cast<int>(rng() % 17) - 1);
      combo->OnChange();
    }
    if (rng() % 8 == 0) button1->Click();
    if (rng() % 32 == 0) form.FindAs<view::Button>("Button2")->Click();
    Fill(form.Buffer(), 0xC0, 0xF0, {0x5A, 0x58, 0x61, 0x70, 0x7F});
    form.Step(form.Buffer());
    const Service sent = SentService(form.Buffer(), 0xC0, 0xF0);
    EXPECT_TRUE(allowed.contains(sent));
    // A switch goes only to the output chosen now.
    if (sent.size() == 4 && sent[0] == 0x30) {
      const int chosen = combo->Selected() < 0 ? 0 : combo->Selected();
      EXPECT_EQ(sent[1], immo::kAps6Io[chosen].id);
    }
    EXPECT_EQ(form.Aps6Command(), 0u);
    ASSERT_LE(form.FindAs<view::Memo>("Memo1")->Count(), 27);
  }
}

TEST_F(RandomReplies, Sauo) {
  std::uint32_t command = 0;
  climate::SauoForm form(handle, command);
  const std::set<Service> allowed = {{0x81},
                                     {0x18, 0x00, 0x80, 0x00},
                                     {0x1A, 0x80},
                                     {0x21, 0x01},
                                     {0x14},
                                     {0x30, 0x57, 0x06, 0x02},
                                     {0x30, 0x81, 0x06, 0x00},
                                     {0x30, 0x81, 0x06, 0x01},
                                     {0x30, 0x61, 0x06, 0x00},
                                     {0x30, 0x61, 0x06, 0x01}};
  auto* list = form.FindAs<view::ListBox>("ListBox1");
  auto* grid = form.FindAs<view::Grid>("StringGrid1");
  const char* buttons[] = {"Button1", "Button2", "Button4", "Button5", "Button6"};
  for (int i = 0; i < 20000; ++i) {
    if (rng() % 8 == 0) form.FindAs<view::Button>(buttons[rng() % 5])->Click();
    if (rng() % 8 == 0) list->Select(static_cast<int>(rng() % 24) - 1);
    Fill(form.Buffer(), 0xB1, 0xF1, {0xC1, 0x58, 0x5A, 0x61, 0x70, 0x7F});
    const link::ReplyCopy reply = link::UnitReply(form.Buffer());
    form.Step(form.Buffer());
    EXPECT_TRUE(allowed.contains(SentService(form.Buffer(), 0xB1, 0xF1)));
    EXPECT_EQ(command, 0u);
    // A short frame carries at most 20 codes, and never more than it announces.
    ASSERT_LE(list->Count(), 20);
    if (reply[3] == 0x58) {
      ASSERT_LE(list->Count(), reply[4]);
      ASSERT_LE(form.FindAs<view::Memo>("Memo1")->Count(), 4);
    }
    ASSERT_EQ(grid->ColCount(), 6);
    ASSERT_EQ(grid->RowCount(), 10);
    ASSERT_EQ(grid->Cell(1, 5), "");
  }
}

}  // namespace
}  // namespace kd
