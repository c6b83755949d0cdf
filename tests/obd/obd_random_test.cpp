// Random replies, random bitmaps and random table fields through the decoders and through both
// windows' ticks: whatever arrives, the grids keep their shape, texts come only from the known
// sets, requests stay well-formed, and (under the sanitizers) nothing is read or written outside
// its buffer.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>

#include "../link/fake_port.h"
#include "link/port.h"
#include "obd/eobd_form.h"
#include "obd/iso9141_form.h"
#include "obd/obd_tables.h"

namespace kd::obd {
namespace {

using Rng = std::mt19937;

link::ReplyCopy RandomReply(Rng& rng) {
  link::ReplyCopy r{};
  const std::size_t n = rng() % r.size();
  for (std::size_t i = 0; i < n; ++i) r[i] = static_cast<std::uint8_t>(rng());
  return r;
}

TEST(ObdRandom, DecodersStayInsideTheGridAndShowKnownTexts) {
  Rng rng(1402);
  for (int round = 0; round < 400; ++round) {
    ObdTable t1 = Mode1Table(), t5 = Mode5Table();
    // Table fields are data: some rounds spoil them as a corrupted table would.
    if (round % 4 == 0)
      for (ObdPidRow& r : t1) {
        r.byte = static_cast<std::int32_t>(rng() % 600) - 300;
        r.bitOrDecimals = static_cast<std::int32_t>(rng() % 40) - 20;
        r.width = static_cast<std::int32_t>(rng() % 4);
      }
    view::Grid g1("StringGrid1"), g3("StringGrid3");
    g1.SetSize(6, 16);
    g3.SetSize(8, 16);
    const SupportBitmap bitmap{static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                               static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng())};
    ListSupported(bitmap, t1, g1, Layout::Parameter);
    ListSupported(bitmap, t5, g3, Layout::Test);
    ASSERT_LE(g1.RowCount(), static_cast<int>(kMode1Rows) + 1);
    ASSERT_LE(g3.RowCount(), static_cast<int>(kMode5Rows) + 1);
    std::uint8_t sensor = 1;
    for (int k = 0; k < 20; ++k) {
      const link::ReplyCopy reply = RandomReply(rng);
      const std::uint8_t id = static_cast<std::uint8_t>(rng() % 40);
      DecodeObdParams(reply, id, t1, g1);
      DecodeO2Test(reply, id, sensor, t5, g3);
      const std::uint8_t next = NextSupportedId(bitmap, id, 5, sensor);
      ASSERT_TRUE(next >= 1 && next < 0x20) << int(next);
      ASSERT_TRUE(next == 1 || Marks(bitmap, next));
      ASSERT_TRUE(sensor == 1 || sensor == 2);
    }
    // Every bit row shows one of the two words, nothing else.
    for (const ObdPidRow& r : t1)
      if (r.kind == 'B' && r.gridLine > 0) {
        const std::string& text = g1.Cell(4, r.gridLine);
        ASSERT_TRUE(text.empty() || text == "ДА" || text == "НЕТ") << text;
      }
    for (int col = 0; col < 8; ++col) ASSERT_NE(g3.Cell(col, 0), "0") << "header overwritten";
  }
}

// Both windows tick on random bytes from the port; every packet they write is one of the forms
// they know: the envelope with a frame whose checksum holds, or the initialisation packet.
TEST(ObdRandom, WindowsWriteOnlyWellFormedPacketsWhateverArrives) {
  Rng rng(9141);
  testing::FakePort fake;
  fake.Open(2);
  link::PortHandle handle(fake);
  handle.openPortNumber = 2;
  EobdShared eobdShared;
  Iso9141Shared isoShared;
  for (int window = 0; window < 40; ++window) {
    EobdForm eobd(handle, eobdShared);
    Iso9141Form iso(handle, isoShared);
    auto& eobdPages = *eobd.FindAs<view::PageControl>("PageControl1");
    auto& isoPages = *iso.FindAs<view::PageControl>("PageControl1");
    for (int tick = 0; tick < 60; ++tick) {
      if (rng() % 8 == 0) eobdPages.ClickTab(static_cast<int>(rng() % 7));
      if (rng() % 8 == 0) isoPages.ClickTab(static_cast<int>(rng() % 4));
      if (rng() % 16 == 0) eobd.FindAs<view::Button>("Button1")->Click();
      if (rng() % 16 == 0) eobd.FindAs<view::Button>("Button2")->Click();
      const std::size_t n = rng() % 260;
      for (std::size_t i = 0; i < n; ++i) fake.incoming.push_back(static_cast<std::uint8_t>(rng()));
      fake.writes.clear();
      view::Form& form = tick % 2 ? static_cast<view::Form&>(eobd) : iso;
      form.LinkTimer()->Fire();
      fake.incoming.clear();
      ASSERT_EQ(fake.writes.size(), 1u);
      const auto& w = fake.writes[0];
      ASSERT_GE(w.size(), 6u);
      ASSERT_EQ(w[0], 0x55);
      ASSERT_EQ(w[3], 0xAA);
      if (w.size() == 6) {
        ASSERT_EQ(w[4], 0x46);
        ASSERT_EQ(w[5], 0xF7);
        continue;
      }
      ASSERT_EQ(w[4] & 0x7F, w.size());
      std::uint8_t sum = 0;
      for (std::size_t i = 5; i + 1 < w.size(); ++i) sum = static_cast<std::uint8_t>(sum + w[i]);
      ASSERT_EQ(sum, w.back());
      ASSERT_LE(eobdShared.frameNumber, 19);
    }
    EXPECT_LE(eobd.CodesMode3().count, ShownCodes::kCapacity);
    EXPECT_LE(eobd.CodesMode7().count, ShownCodes::kCapacity);
  }
}

}  // namespace
}  // namespace kd::obd
