// The fault page beyond what a scenario shows: layouts and geometry by type, redraws that must not
// happen, and the limits of the scan and of the stored-codes reply.
#include "faults/fault_page.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "faults/dtc_catalogue.h"
#include "faults/fault_page_fixture.h"
#include "text/cp1251.h"

namespace kd::faults {
namespace {

TEST(FaultPageLayout, DetailControlsAndCurErrorFollowTheType) {
  struct Expected {
    std::uint32_t type;
    bool freeze, stat, status, freezeButton;
    int left, width, height;
  };
  // CurError beside the list: 295 + 5, a third of 449, the list's height; alone: 0, 449, 169.
  const Expected table[] = {
      {1, false, false, false, false, 0, 449, 169},  {2, false, false, false, false, 0, 449, 169},
      {3, true, true, true, false, 300, 149, 169},   {4, false, false, false, false, 0, 449, 169},
      {5, false, false, false, false, 0, 449, 169},  {6, true, true, true, true, 300, 149, 169},
      {7, true, true, true, false, 300, 149, 169},   {8, true, true, true, true, 300, 149, 169},
      {9, false, false, false, false, 0, 449, 169},  {10, false, false, false, false, 0, 449, 169},
      {11, true, true, false, false, 300, 149, 169},
  };
  Page p(1);
  for (const auto& e : table) {
    p.type = e.type;
    p.page.ApplyLayout();
    const std::string where = "type " + std::to_string(e.type);
    EXPECT_EQ(p.page.FreezeListBox().Visible(), e.freeze) << where;
    EXPECT_EQ(p.ButtonNamed("ButtonStat").Visible(), e.stat) << where;
    EXPECT_EQ(p.ButtonNamed("ButtonStatus").Visible(), e.status) << where;
    EXPECT_EQ(p.ButtonNamed("ButtonFreeze").Visible(), e.freezeButton) << where;
    EXPECT_EQ(p.page.CurError().Left(), e.left) << where;
    EXPECT_EQ(p.page.CurError().Width(), e.width) << where;
    EXPECT_EQ(p.page.CurError().Height(), e.height) << where;
  }
  EXPECT_FALSE(p.page.StatusLabel().Visible()) << "hidden until related information is shown";
}

TEST(FaultPageStoredCodes, AnUnchangedReplyRedrawsNothing) {
  Page p(6);
  const Bytes none = StoredCodes({});
  const auto listBefore = p.page.StoryErrorList().Revision();
  p.Feed(none);
  const auto listDrawn = p.page.StoryErrorList().Revision();
  const auto statusDrawn = p.page.Status().Revision();
  EXPECT_NE(listDrawn, listBefore) << "the first empty reply still clears the lists";
  EXPECT_EQ(Bytes(p.page.LastDtcReply().begin(), p.page.LastDtcReply().begin() + 5),
            Bytes(none.begin(), none.begin() + 5));
  p.Feed(none);
  EXPECT_EQ(p.page.StoryErrorList().Revision(), listDrawn);
  EXPECT_EQ(p.page.Status().Revision(), statusDrawn);
  EXPECT_EQ(p.Request(), (Bytes{0x18, 0x00, 0xFF, 0x00}));
}

TEST(FaultPageStoredCodes, ListsDrawnForAnotherCatalogueAreDrawnAgain) {
  Page p(6);
  const Bytes reply = StoredCodes({{0x0101, 0x20}});
  p.Feed(reply);
  ASSERT_EQ(p.page.StoryErrorList().Count(), 1);
  EXPECT_EQ(p.page.StoryErrorList().Items()[0], "0101") << "M7.9.7 has no 0101";
  // The same bytes from an M10 name the code: the lists must not keep the other type's reading.
  p.type = 8;
  p.Feed(reply);
  EXPECT_EQ(p.page.StoryErrorList().Items()[0], FirstDtcRow(8, 0x0101)->Utf8Text());
  // The bit-map pages clear the list every tick; back on a KWP2000 type the same reply refills it.
  p.type = 4;
  p.session.pageTickCount = 1;
  p.Feed({});
  EXPECT_EQ(p.page.StoryErrorList().Count(), 0);
  p.type = 8;
  p.Feed(reply);
  EXPECT_EQ(p.page.StoryErrorList().Count(), 1);
}

TEST(FaultPageStoredCodes, OnlyGroupsInsideTheFrameAreListed) {
  Page p(8);
  // The long header is not read at all, even when its length byte happens to be 58.
  p.Feed({0x80, 0xF1, 0x10, 0x58, 0x58, 0x01, 0x02, 0x20});
  EXPECT_EQ(p.page.StoryErrorList().Count(), 0);
  EXPECT_EQ(p.page.StoredDtcCount(), 0);
  // 21 groups claimed, 20 fit in the largest short frame: the 21st would be the checksum.
  std::vector<std::pair<std::uint16_t, std::uint8_t>> codes;
  for (std::uint16_t k = 0; k < 20; ++k) codes.emplace_back(0x0101 + k, 0x20);
  Bytes reply = StoredCodes(codes);
  ASSERT_EQ(reply[0], 0xBE);
  reply[4] = 21;
  p.Feed(reply);
  EXPECT_EQ(p.page.StoredDtcCount(), 20);
  EXPECT_EQ(p.page.Status().Count(), p.page.StoryErrorList().Count());
}

TEST(FaultPageScan, MoreCodesThanSlotsAreAskedForButOnlyTenAreKept) {
  Page p(6);
  // Twelve codes of the M7.9.7 table, in table order from 0102.
  std::vector<std::pair<std::uint16_t, std::uint8_t>> codes;
  const auto table = DtcCatalogue(6);
  for (std::size_t k = 0; k < 12; ++k)
    codes.emplace_back(static_cast<std::uint16_t>(table[k].code), 0x20);
  const Bytes list = StoredCodes(codes);
  p.Feed(list);
  p.page.CheckBox1().Click();
  ASSERT_EQ(p.mode, 3u);
  EXPECT_FALSE(p.page.Button8().Enabled());
  std::vector<std::uint16_t> asked;
  for (int round = 0; round < 12; ++round) {
    p.Feed(list);
    const Bytes request = p.Request();
    ASSERT_EQ(request.size(), 3u);
    ASSERT_EQ(request[0], 0x17);
    const auto code = static_cast<std::uint16_t>(request[1] * 256 + request[2]);
    asked.push_back(code);
    p.Feed(Related(code, static_cast<std::uint8_t>(round + 1)));
  }
  std::vector<std::uint16_t> expected;
  for (std::size_t k = 1; k <= 12; ++k) expected.push_back(codes[k % 12].first);
  EXPECT_EQ(asked, expected) << "every code in turn, wrapping to the first";
  EXPECT_TRUE(p.page.Button8().Enabled());

  const FaultReport report = p.page.Report();
  ASSERT_EQ(report.rows.size(), 12u);
  EXPECT_TRUE(report.scanned);
  for (std::size_t k = 0; k < 12; ++k) {
    const auto& slot = report.rows[k].slot;
    if (k < 10) {
      EXPECT_EQ(slot[0], 0x57) << k;
      EXPECT_EQ(slot[2] * 256 + slot[3], codes[k].first) << k;
      // Code k was asked in round k - 1 (code 0 in the last round).
      EXPECT_EQ(slot[4], k == 0 ? 12 : k) << k;
    } else {
      EXPECT_EQ(slot, DtcScanSlot{}) << "code " << k << " has no slot";
    }
  }
}

TEST(FaultPageScan, RepliesAboutOtherCodesAndOtherTypesStayOutOfTheSlots) {
  Page p(6);
  const Bytes list = StoredCodes({{0x0102, 0x20}, {0x0103, 0x20}});
  p.Feed(list);
  p.page.CheckBox1().Click();
  p.Feed(list);
  ASSERT_EQ(p.Request(), (Bytes{0x17, 0x01, 0x03}));
  p.Feed(Related(0x0102, 0x55));
  EXPECT_EQ(p.page.DtcScanSlots()[1], DtcScanSlot{}) << "the reply is about another code";
  // M10 keeps a reply only when it carries exactly one code; MP7.0 never.
  p.type = 8;
  Bytes two = Related(0x0103, 0x55);
  two[4] = 2;
  p.Feed(two);
  EXPECT_EQ(p.page.DtcScanSlots()[1], DtcScanSlot{});
  p.type = 3;
  p.Feed(Related(0x0103, 0x55));
  EXPECT_EQ(p.page.DtcScanSlots()[1], DtcScanSlot{});
  p.type = 8;
  p.Feed(Related(0x0103, 0x55));
  EXPECT_EQ(p.page.DtcScanSlots()[1][0], 0x57);
  EXPECT_EQ(p.page.DtcScanSlots()[1][31], 0x55);
}

TEST(FaultPageScan, TheBoxStartsAScanOnlyOverStoredCodes) {
  Page p(6);
  auto& box = p.page.CheckBox1();
  box.Click();
  EXPECT_TRUE(box.Checked());
  EXPECT_EQ(p.mode, 0u);
  EXPECT_TRUE(p.page.Button8().Enabled());
  p.Feed(StoredCodes({{0x0102, 0x20}}));
  box.Click();
  box.Click();
  EXPECT_EQ(p.mode, 3u);
  EXPECT_FALSE(p.page.Button8().Enabled());
  // Every code cleared during the scan: the round ends, and there is nothing to ask about.
  p.Feed(StoredCodes({}));
  EXPECT_EQ(p.page.DtcScanIndex(), 0);
  EXPECT_TRUE(p.page.Button8().Enabled());
  EXPECT_EQ(p.Request(), (Bytes{0x18, 0x00, 0xFF, 0x00}));
  box.Click();
  EXPECT_EQ(p.mode, 0u);
  EXPECT_TRUE(p.page.Button8().Enabled());
}

TEST(FaultPageBitMaps, CommandsOtherThanClearWaitAndMikasTouchesNothing) {
  Page j4(4);
  j4.session.pendingCommand = 7;
  j4.Feed({});
  EXPECT_EQ(j4.session.pendingCommand, 7u) << "January 4.1 has no powertrain clear";
  EXPECT_EQ(j4.buffer.dataLength, 6);
  EXPECT_EQ(j4.session.pageTickCount, 1);

  Page mikas(10);
  mikas.session.pendingCommand = 1;
  const auto list = mikas.page.StoryErrorList().Revision();
  const auto cur = mikas.page.CurError().Revision();
  mikas.Feed({0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x81});
  EXPECT_EQ(mikas.buffer.dataLength, 0xEE) << "no request written";
  EXPECT_EQ(mikas.session.pendingCommand, 1u);
  EXPECT_EQ(mikas.session.pageTickCount, 0);
  EXPECT_EQ(mikas.page.StoryErrorList().Revision(), list);
  EXPECT_EQ(mikas.page.CurError().Revision(), cur);
}

}  // namespace
}  // namespace kd::faults
