// Random replies and random clicks on the fault page of every type: whatever arrives, the page
// asks only for codes the controller listed, lists only what the frame holds, and the detail
// decoders and the report stay within their bounds. Run under the sanitizers it also proves that
// no reply makes the page read or write outside its buffers.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>

#include "faults/dtc_catalogue.h"
#include "faults/fault_detail.h"
#include "faults/fault_page_fixture.h"
#include "faults/fault_report.h"
#include "text/cp1251.h"
#include "text/number_format.h"

namespace kd::faults {
namespace {

using Rng = std::mt19937;

int Pick(Rng& rng, int n) {
  return static_cast<int>(rng() % static_cast<unsigned>(n));
}

// Codes the page may ask about: the groups of the last stored-codes reply that lie in its frame.
std::set<std::uint16_t> ListedCodes(const FaultPage& page) {
  const auto& last = page.LastDtcReply();
  std::set<std::uint16_t> codes;
  if (last[0] <= 0x80 || last[0] >= 0xC0) return codes;
  const std::size_t length = last[0] - 0x80u;
  const std::size_t fit = length >= 2 ? (length - 2) / 3 : 0;
  for (std::size_t k = 0; k < std::min<std::size_t>(last[4], fit); ++k)
    codes.insert(static_cast<std::uint16_t>(last[5 + 3 * k] * 256 + last[6 + 3 * k]));
  return codes;
}

Bytes RandomReply(Rng& rng, std::uint32_t type) {
  Bytes r(240);
  for (auto& b : r) b = static_cast<std::uint8_t>(rng());
  const auto table = DtcCatalogue(type);
  switch (Pick(rng, 6)) {
    case 0: {  // stored codes, with counts that may not fit the frame
      r[0] = static_cast<std::uint8_t>(0x80 + Pick(rng, 64));
      r[1] = 0xF1;
      r[3] = 0x58;
      r[4] = static_cast<std::uint8_t>(Pick(rng, 26));
      for (std::size_t k = 0; k < 21 && !table.empty(); ++k) {
        if (Pick(rng, 2) == 0) continue;
        const std::uint32_t code =
            table[static_cast<std::size_t>(Pick(rng, static_cast<int>(table.size())))].code;
        r[5 + 3 * k] = static_cast<std::uint8_t>(code >> 8);
        r[6 + 3 * k] = static_cast<std::uint8_t>(code);
      }
      break;
    }
    case 1:
      r[3] = 0x57;
      r[4] = static_cast<std::uint8_t>(Pick(rng, 3));
      break;
    case 2:
      r[3] = 0x52;
      break;
    case 3:
      r[0] = 0x80;
      r[4] = 0x61;
      r[5] = 0x01;
      break;
    case 4:
      std::fill(r.begin(), r.end(), 0);
      break;
    default:
      break;
  }
  return r;
}

void RandomClicks(Rng& rng, Page& p) {
  switch (Pick(rng, 8)) {
    case 0:
      p.page.StoryErrorList().Select(Pick(rng, p.page.StoryErrorList().Count() + 2) - 1);
      break;
    case 1:
      p.ButtonNamed("ButtonStat").Click();
      break;
    case 2:
      p.ButtonNamed("ButtonStatus").Click();
      break;
    case 3:
      p.ButtonNamed("ButtonFreeze").Click();
      break;
    case 4:
      p.page.CheckBox1().Click();
      break;
    case 5:
      p.session.pendingCommand = static_cast<std::uint32_t>(Pick(rng, 8));
      break;
    case 6:
      p.session.pageTickCount = static_cast<std::uint8_t>(rng());
      break;
    default:
      break;
  }
}

std::set<std::string> CatalogueTexts(std::uint32_t type) {
  std::set<std::string> texts;
  for (const DtcEntry& e : DtcCatalogue(type)) texts.insert(e.Utf8Text());
  return texts;
}

void CheckRequest(const Page& p, std::uint32_t type, const std::set<std::uint16_t>& listed) {
  const link::ExchangeBuffer& b = p.buffer;
  // On KWP2000 controllers (and types the catalogue does not know) the page carries out the
  // service command a button left, in place of its own request.
  if (type != 4 && type != 5 && type != 10 && b.dataLength != 0xEE) {
    const Bytes request = p.Request();
    for (const Bytes& command :
         {Bytes{0x14, 0xFF, 0x00}, Bytes{0x14, 0x00, 0x00}, Bytes{0x11, 0x01}, Bytes{0x11, 0x90}})
      if (request == command) {
        EXPECT_EQ(p.session.pendingCommand, 0u) << "a command goes out once";
        return;
      }
  }
  if (type == 10 || type > 11) {
    EXPECT_EQ(b.dataLength, 0xEE) << "nothing written";
    return;
  }
  if (type == 4) {
    ASSERT_TRUE(b.dataLength == 6 || b.dataLength == 34);
    EXPECT_EQ(b.transmitFrame[0], b.dataLength == 6 ? 0x61 : 0x62);
    return;
  }
  if (type == 5) {
    const Bytes frame(b.transmitFrame, b.transmitFrame + b.dataLength + 4);
    EXPECT_TRUE(frame == (Bytes{0xF4, 0x57, 0x01, 0x00, 0xB4}) ||
                frame == (Bytes{0xF4, 0x56, 0x0A, 0xAC}));
    return;
  }
  const Bytes request = p.Request();
  const auto code = [&](std::size_t at) {
    return static_cast<std::uint16_t>(request[at] * 256 + request[at + 1]);
  };
  if (request == Bytes{0x18, 0x00, 0xFF, 0x00} || request == Bytes{0x21, 0x01}) return;
  if (request.size() == 3 && request[0] == 0x17) {
    EXPECT_TRUE(listed.contains(code(1))) << "asked about a code nobody listed";
  } else if (request.size() == 5 && request[0] == 0x12 && request[1] == 0 && request[2] == 4) {
    EXPECT_TRUE(listed.contains(code(3))) << "asked about a code nobody listed";
  } else {
    ADD_FAILURE() << "unexpected request of " << request.size() << " bytes";
  }
}

TEST(FaultPageRandom, EveryTypeStaysWithinTheReplyAndItsOwnRequests) {
  Rng rng(20240305);
  for (std::uint32_t type = 1; type <= 12; ++type) {
    SCOPED_TRACE("type " + std::to_string(type));
    Page p(type);
    const auto texts = CatalogueTexts(type);
    const bool kwp = type != 4 && type != 5 && type != 10 && type <= 11;
    for (int round = 0; round < 800; ++round) {
      RandomClicks(rng, p);
      const Bytes reply = RandomReply(rng, type);
      p.Feed(reply);
      const auto listed = ListedCodes(p.page);
      CheckRequest(p, type, listed);
      if (HasFailure()) return;

      EXPECT_GE(p.page.StoredDtcCount(), 0);
      EXPECT_LE(p.page.StoredDtcCount(), 20);
      // The index may stand past a list that shrank outside a scan; a scan's next round starts
      // again from 0 before it is used.
      EXPECT_GE(p.page.DtcScanIndex(), 0);
      EXPECT_LE(p.page.DtcScanIndex(), 20);
      const bool listing = reply[3] == 0x58 && reply[0] > 0x80 && reply[0] < 0xC0;
      if (listing && p.mode == 3) {
        EXPECT_LT(p.page.DtcScanIndex(), std::max(p.page.StoredDtcCount(), 1));
      }
      EXPECT_LE(p.page.CurError().Count(), 57);
      EXPECT_LE(p.page.FreezeListBox().Count(), 20);
      const auto& rows = p.page.StoryErrorList().Items();
      if (kwp) {
        EXPECT_EQ(p.page.Status().Count(), p.page.StoryErrorList().Count());
      }
      for (const auto& row : rows) {
        const bool hex = row.size() == 4 &&
                         listed.contains(static_cast<std::uint16_t>(std::stoul(row, nullptr, 16)));
        EXPECT_TRUE(texts.contains(row) || (kwp && hex)) << row;
      }

      const FaultReport report = p.page.Report();
      ASSERT_EQ(report.rows.size(), rows.size());
      for (std::size_t i = 0; i < rows.size(); ++i) {
        const DtcScanSlot& slot = report.rows[i].slot;
        if (slot == DtcScanSlot{}) continue;
        // Data under a row is always data about that row's code.
        const std::uint32_t code = slot[2] * 256u + slot[3];
        bool belongs = text::Hex4(code) == rows[i];
        for (const DtcEntry* e : FindDtcRows(type, code))
          belongs = belongs || e->Utf8Text() == rows[i];
        EXPECT_EQ(slot[0], 0x57);
        EXPECT_TRUE(belongs) << rows[i];
      }
      if (HasFailure()) return;
    }
  }
}

TEST(FaultDetailRandom, DecodersAndTheReportKeepTheirShape) {
  Rng rng(7);
  for (int round = 0; round < 3000; ++round) {
    link::ReplyCopy r;
    for (auto& b : r) b = static_cast<std::uint8_t>(rng());
    const auto bounded = [&](const DetailLines& d, std::size_t cur, std::size_t freeze) {
      EXPECT_LE(d.curError.size(), cur);
      EXPECT_LE(d.freeze.size(), freeze);
      for (const auto& line : d.curError)
        EXPECT_EQ(text::Cp1251ToUtf8(text::Utf8ToCp1251(line)), line);
    };
    bounded(DecodeM10Related(r), 9, 14);
    bounded(DecodeM797Related(r), 12, 19);
    bounded(DecodeMp70Related(r), 6, 19);
    bounded(DecodeEmurRelated(r), 0, 6);
    bounded(DecodeFreezeFrame(r), 0, 12);
    const auto status = StatusDecodeLines(r[7]);
    EXPECT_TRUE(status.size() == 3 || status.size() == 4);
    EXPECT_EQ(status.size() == 4, (r[7] & 0x60) != 0);

    FaultReport report;
    report.scanned = true;
    DtcScanSlot slot;
    std::copy_n(r.begin(), slot.size(), slot.begin());
    report.rows.push_back({"row", slot});
    const std::string body = FaultReportBody(report);
    // Headings, the row with its CR LFs, one state line, at most 13 flag lines, five counters.
    EXPECT_GT(body.size(), 56u + 7u + 5u * 30u);
    EXPECT_LT(body.size(), 56u + 7u + 40u + 13u * 40u + 5u * 40u);
  }
}

}  // namespace
}  // namespace kd::faults
