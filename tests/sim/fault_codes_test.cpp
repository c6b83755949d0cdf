// Stored fault codes on every family, read here from the replies' byte layouts: what the fault
// page gets, whether it agrees with the catalogue the program names the codes with, and how a
// clear behaves. The catalogue and the related-value definitions are data the program shows the
// codes with; none of the program's decoders is called.
#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <stdexcept>
#include <string>

#include "catalogue/param_tables.h"
#include "faults/ambient_table.h"
#include "faults/dtc_catalogue.h"
#include "sim/fault_memory.h"
#include "sim_fixture.h"
#include "text/cp1251.h"

namespace kd::sim::test {
namespace {

constexpr std::uint32_t kKwpTypes[] = {1, 2, 3, 6, 7, 8, 9, 11};

struct Group {
  std::uint16_t code;
  std::uint8_t status;
  bool Present() const { return (status & 0x60) == 0x60; }
};

bool RealFault(std::uint32_t type, std::size_t row) {
  const faults::DtcEntry* e = faults::DtcRowAt(type, row);
  return e && !e->text.empty() && e->Utf8Text().rfind(faults::kUnusedDtcText, 0) != 0;
}

struct Codes : SimFixture {
  std::uint32_t type = 1;
  std::uint8_t target = 0x10;

  void Open(std::uint32_t t) {
    type = t;
    target = Target(t);
    Connect(t, kKwpLine);
    ASSERT_EQ(Service({0x81}, 0x80).at(0), 0xC1);
  }
  Bytes Service(std::initializer_list<std::uint8_t> service, std::uint8_t flags = 0) {
    return KwpService(Kwp(target, service, flags), target);
  }
  // The groups of a stored-codes reply, which must come with the short header.
  std::vector<Group> Stored(std::uint8_t groupHi = 0xFF) {
    const Bytes reply = Kwp(target, {0x18, 0x00, groupHi, 0x00});
    EXPECT_TRUE(reply.size() > 3 && reply[0] > 0x80 && reply[0] < 0xC0) << "short header";
    const Bytes s = KwpService(reply, target);
    if (s.size() < 2 || s[0] != 0x58 || s.size() != 2u + 3u * s[1]) {
      ADD_FAILURE() << "no 58 n and n groups, type " << type;
      return {};
    }
    std::vector<Group> groups;
    for (std::size_t k = 0; k < s[1]; ++k)
      groups.push_back(
          {static_cast<std::uint16_t>(s[2 + 3 * k] << 8 | s[3 + 3 * k]), s[4 + 3 * k]});
    return groups;
  }
  // Time passes with a request a second, so the session stays open.
  void Wait(std::int64_t ms) {
    for (const std::int64_t end = nowMs + ms; nowMs < end;) {
      nowMs = std::min(end, nowMs + 1000);
      Service({0x3E, 0x01});
    }
  }
  // The data record as the program reads it: position 0 is the byte in front of the service
  // identifier.
  Bytes Record() {
    const Bytes reply = Kwp(target, {0x21, 0x01});
    const std::size_t header = reply.at(0) == 0x80 ? 3 : 2;
    return Bytes(reply.begin() + static_cast<std::ptrdiff_t>(header), reply.end() - 1);
  }
  // The value of the built-in table's row named `prefix`, if the type has one.
  std::optional<int> RecordRow(std::string_view prefix) {
    for (const auto& r : catalogue::BuiltInParams(type)) {
      if (text::Cp1251ToUtf8(catalogue::FieldText(r.name)).rfind(prefix, 0) != 0) continue;
      const Bytes rec = Record();
      const std::uint8_t b = rec.at(static_cast<std::size_t>(r.dataOffset));
      return r.kind == 'B' ? (b >> r.bit) & 1 : b;
    }
    return std::nullopt;
  }
  // What the record says of the memory must agree with the stored codes.
  void ExpectRecordAgrees(const std::vector<Group>& stored, const char* when) {
    if (auto count = RecordRow("КОЛ-ВО ОШ")) {
      EXPECT_EQ(*count, static_cast<int>(stored.size())) << "type " << type << " " << when;
    }
    if (auto lamp = RecordRow("ЛАМПА С.Е.")) {
      const bool on =
          std::any_of(stored.begin(), stored.end(), [](const Group& g) { return g.status & 0x80; });
      EXPECT_EQ(*lamp, on ? 1 : 0) << "type " << type << " " << when;
    }
    if (type != 1 && type != 2 && type != 9) return;
    // Present-fault map: ReplyCopy bytes 10..13 with the long header, record positions 7..10.
    const Bytes rec = Record();
    for (std::size_t k = 0; k < 32; ++k) {
      const bool bit = (rec.at(7 + k / 8) >> (k % 8)) & 1;
      const auto* row = faults::DtcRowAt(type, k);
      const bool present = std::any_of(stored.begin(), stored.end(), [&](const Group& g) {
        return g.Present() && row && row->code == g.code;
      });
      EXPECT_EQ(bit, present) << "type " << type << " row " << k << " " << when;
    }
  }
};

TEST_F(Codes, EachTypeStoresAFewCodesItsCatalogueNamesWithOnePresent) {
  for (const std::uint32_t t : kKwpTypes) {
    Open(t);
    const auto stored = Stored();
    EXPECT_GE(stored.size(), 2u) << t;
    EXPECT_LE(stored.size(), 4u) << t;
    std::set<std::uint8_t> statuses;
    for (const Group& g : stored) {
      EXPECT_NE(g.code, 0) << t;
      EXPECT_FALSE(faults::FindDtcRows(t, g.code).empty()) << "type " << t << " code " << g.code;
      statuses.insert(g.status);
    }
    EXPECT_EQ(statuses.size(), stored.size()) << "varied status bytes, type " << t;
    EXPECT_EQ(
        std::count_if(stored.begin(), stored.end(), [](const Group& g) { return g.Present(); }), 1)
        << t;
    ExpectRecordAgrees(stored, "as it came in");
    // Groups: the engine controllers' codes are powertrain codes, EMUR's chassis codes.
    EXPECT_EQ(Stored(0x00).size(), t == 11 ? 0u : stored.size()) << t;
    EXPECT_EQ(Stored(0x40).size(), t == 11 ? stored.size() : 0u) << t;
    EXPECT_EQ(Service({0x18, 0x00, 0x12, 0x34}), (Bytes{0x7F, 0x18, 0x31}));
    EXPECT_EQ(Service({0x18, 0x00}), (Bytes{0x7F, 0x18, 0x12}));
  }
}

// What the simulator meant to record with a code, in physical values.
const KwpFault& Recorded(std::uint32_t type, std::uint16_t code) {
  for (const KwpFault& f : KwpFaultsOf(type))
    if (f.code == code) return f;
  throw std::runtime_error("no such code");
}

// A raw value scaled by the program's definition reads as the value that was recorded: the
// simulator's scales and the quantities it records agree with what the program shows.
void ExpectValue(const faults::AmbientRecord* def, int raw, double recorded, std::uint16_t code) {
  ASSERT_NE(def, nullptr) << "code " << code;
  const double v = raw * static_cast<double>(def->factor) + static_cast<double>(def->offset);
  EXPECT_NEAR(v, recorded, std::abs(def->factor) / 2 + 1e-9) << "code " << code;
}

// Environment groups of M7.9.7 (four of 5 bytes from service byte 12, one-byte values) and M10
// (three of 6 bytes from 15, two-byte values low byte first); first two bytes FF: empty. The two
// values are those the catalogue row of the code names.
void ExpectGroups(std::uint32_t type, const Bytes& s, std::uint16_t code) {
  const bool m10 = type == 8;
  const std::size_t first = m10 ? 15 : 12, size = m10 ? 6 : 5, count = m10 ? 3 : 4;
  const faults::DtcEntry* row = faults::FirstDtcRow(type, code);
  ASSERT_NE(row, nullptr);
  const auto defs = faults::RelatedValues(type, *row);
  const KwpFault& meant = Recorded(type, code);
  int recorded = 0, lastRunTime = -1;
  for (std::size_t g = 0; g < count; ++g) {
    const std::size_t p = first + size * g;
    const auto& sample = m10 ? std::get<M10Related>(meant.related).samples.at(g)
                             : std::get<M797Related>(meant.related).samples.at(g);
    EXPECT_EQ(s[p] == 0xFF && s[p + 1] == 0xFF, !sample) << "code " << code << " group " << g;
    if (!sample || (s[p] == 0xFF && s[p + 1] == 0xFF)) continue;
    ++recorded;
    const int v1 = m10 ? s[p] + 256 * s[p + 1] : s[p];
    const int v2 = m10 ? s[p + 2] + 256 * s[p + 3] : s[p + 1];
    const int runTime = s[p + size - 2] + 256 * s[p + size - 1];
    ExpectValue(defs.first, v1, sample->value1, code);
    ExpectValue(defs.second, v2, sample->value2, code);
    EXPECT_EQ(runTime, sample->runTime);
    EXPECT_GT(runTime, lastRunTime) << "recordings in the order they were made, code " << code;
    lastRunTime = runTime;
  }
  EXPECT_GE(recorded, 1) << code;
}

TEST_F(Codes, RelatedInformationComesInTheLayoutOfEachFamily) {
  const std::map<std::uint32_t, std::size_t> length = {{1, 5},  {2, 5},  {3, 17}, {6, 32},
                                                       {7, 17}, {8, 33}, {9, 5},  {11, 13}};
  for (const std::uint32_t t : kKwpTypes) {
    Open(t);
    for (const Group& g : Stored()) {
      const auto hi = static_cast<std::uint8_t>(g.code >> 8),
                 lo = static_cast<std::uint8_t>(g.code);
      const Bytes s = Service({0x17, hi, lo});
      ASSERT_EQ(s.size(), length.at(t)) << "type " << t << " code " << g.code;
      EXPECT_EQ(Bytes(s.begin(), s.begin() + 4), (Bytes{0x57, 0x01, hi, lo}));
      if (t == 3 || t == 7) {
        // The topical fault type takes the status byte's place: its error bit is the fault now.
        EXPECT_EQ(s[4] & 1, g.Present() ? 1 : 0) << "type " << t << " code " << g.code;
        continue;
      }
      EXPECT_EQ(s[4], g.status);
      if (t == 6) {
        // M7.9.7 tells an active fault by status bits 0-1 = 11.
        EXPECT_EQ((s[4] & 3) == 3, g.Present()) << g.code;
        ExpectGroups(t, s, g.code);
      }
      if (t == 8) {
        EXPECT_TRUE(s[5] & 0x20) << "flag A: the code is stored, code " << g.code;
        EXPECT_EQ((s[5] >> 6) & 1, g.Present() ? 1 : 0) << "flag A: result now, code " << g.code;
        EXPECT_EQ((s[5] >> 7) & 1, g.status >> 7) << "flag A: the lamp, code " << g.code;
        // A stored frame (flag A bit 2) is one the controller gives.
        EXPECT_EQ(Service({0x12, 0x00, 0x04, hi, lo}).at(0), (s[5] & 4) ? 0x52 : 0x7F) << g.code;
        ExpectGroups(t, s, g.code);
      }
    }
    EXPECT_EQ(Service({0x17, 0x03, 0x99}), (Bytes{0x7F, 0x17, 0x31})) << "not stored, type " << t;
    EXPECT_EQ(Service({0x17, 0x03}), (Bytes{0x7F, 0x17, 0x12}));
  }
}

TEST_F(Codes, FreezeFramesComeFromTheEngineControllersWithExtendedData) {
  for (const std::uint32_t t : kKwpTypes) {
    Open(t);
    const auto stored = Stored();
    const auto hi = static_cast<std::uint8_t>(stored.at(0).code >> 8);
    const auto lo = static_cast<std::uint8_t>(stored.at(0).code);
    if (t != 3 && t != 6 && t != 7 && t != 8) {
      EXPECT_EQ(Service({0x12, 0x00, 0x04, hi, lo}), (Bytes{0x7F, 0x12, 0x11})) << t;
      continue;
    }
    int frames = 0;
    for (const Group& g : stored) {
      const Bytes s = Service({0x12, 0x00, 0x04, static_cast<std::uint8_t>(g.code >> 8),
                               static_cast<std::uint8_t>(g.code)});
      if (s.at(0) == 0x7F) continue;
      ++frames;
      // 52, frame 00, loop flags, -, load, coolant + 40, FRZ_FR, FRA, -, -, -, rpm / 40, km/h.
      ASSERT_EQ(s.size(), 13u) << "type " << t << " code " << g.code;
      EXPECT_EQ(s[1], 0x00);
      EXPECT_EQ(s[2] & 0xE0, 0) << "loop flags are bits 0-4";
      for (const std::size_t unused : {3u, 8u, 9u, 10u}) EXPECT_EQ(s[unused], 0) << unused;
      const FreezeFrame& meant = *Recorded(t, g.code).freeze;
      EXPECT_NEAR(s[4] * 100.0 / 256, meant.loadPercent, 0.2) << g.code;
      EXPECT_EQ(s[5] - 40, meant.coolant) << g.code;
      EXPECT_EQ(s[6], meant.controlOutput);
      EXPECT_EQ(s[7], meant.adaptation);
      EXPECT_NEAR(s[11] * 40, meant.rpm, 20) << g.code;
      EXPECT_EQ(s[12], meant.speed) << g.code;
    }
    EXPECT_GE(frames, 2) << t;
    EXPECT_EQ(Service({0x12, 0x01, 0x04, hi, lo}), (Bytes{0x7F, 0x12, 0x31})) << "frame 01";
    EXPECT_EQ(Service({0x12, 0x00, 0x04, 0x03, 0x99}), (Bytes{0x7F, 0x12, 0x31})) << "not stored";
  }
}

TEST_F(Codes, AClearRemovesTheCodesAndTheFaultStillThereIsStoredAgainSecondsLater) {
  for (const std::uint32_t t : kKwpTypes) {
    Open(t);
    const auto before = Stored();
    EXPECT_EQ(Service({0x14, 0xFF, 0x00}), (Bytes{0x54, 0xFF, 0x00}));
    EXPECT_TRUE(Stored().empty()) << t;
    ExpectRecordAgrees({}, "right after the clear");
    for (const Group& g : before)
      EXPECT_EQ(Service({0x17, static_cast<std::uint8_t>(g.code >> 8),
                         static_cast<std::uint8_t>(g.code)}),
                (Bytes{0x7F, 0x17, 0x31}));
    Wait(4000);
    EXPECT_TRUE(Stored().empty()) << "not yet seen long enough, type " << t;
    Wait(1500);
    const auto after = Stored();
    ASSERT_EQ(after.size(), 1u) << t;
    EXPECT_TRUE(after[0].Present());
    EXPECT_TRUE(std::any_of(before.begin(), before.end(), [&](const Group& g) {
      return g.code == after[0].code && g.status == after[0].status;
    }));
    ExpectRecordAgrees(after, "after the return");
    // The powertrain group is every code of an engine controller and none of EMUR's.
    EXPECT_EQ(Service({0x14, 0x00, 0x00}), (Bytes{0x54, 0x00, 0x00}));
    EXPECT_EQ(Stored().size(), t == 11 ? 1u : 0u) << t;
    EXPECT_EQ(Service({0x14, 0x12, 0x34}), (Bytes{0x7F, 0x14, 0x31}));
  }
}

TEST_F(Codes, TheMemoryOutlivesAResetAndAReconnection) {
  Open(6);
  const std::size_t stored = Stored().size();
  EXPECT_EQ(Service({0x11, 0x01}), Bytes{0x51});
  EXPECT_EQ(Service({0x18, 0x00, 0xFF, 0x00}), (Bytes{0x7F, 0x18, 0x22})) << "restarted";
  Open(6);
  EXPECT_EQ(Stored().size(), stored) << "codes survive a reset";
  EXPECT_EQ(Service({0x11, 0x90}), Bytes{0x51});
  Open(6);
  EXPECT_EQ(Service({0x11, 0x02}), (Bytes{0x7F, 0x11, 0x12}));
  Service({0x14, 0xFF, 0x00});
  Open(8);
  EXPECT_FALSE(Stored().empty()) << "M10 keeps its own memory";
  Open(6);
  EXPECT_TRUE(Stored().empty()) << "the cleared memory is still cleared";
}

// ---- January 4.1 and GM: maps keyed by catalogue row ----

struct RowMaps : SimFixture {
  // Present-fault map (cells 08 09 0A 63) and counter block (cell 62), unstuffed and summed.
  Bytes January(const Bytes& message = {0x61, 0x08, 0x09, 0x0A, 0x63, 0x62}) {
    Bytes body = Unstuff(Bare(EscapedFrame(message)));
    EXPECT_EQ(Sum8(body), 0);
    if (!body.empty()) body.pop_back();
    return body;
  }
  static bool Bit(const Bytes& b, std::size_t at, std::size_t k) {
    return (b.at(at + k / 8) >> (k % 8)) & 1;
  }
};

TEST_F(RowMaps, January41KeepsPresentFaultsInItsMapAndStoredOnesAboveTheThreshold) {
  Connect(4, kEscapedLine);
  const Bytes cells = January();
  ASSERT_EQ(cells.size(), 4u + 32u);
  int present = 0, storedOnly = 0;
  for (std::size_t k = 0; k < 32; ++k) {
    const bool stored = cells[4 + k] > 0x80;
    if (Bit(cells, 0, k) || stored) {
      EXPECT_TRUE(RealFault(4, k)) << "row " << k;
    }
    if (Bit(cells, 0, k)) {
      ++present;
      EXPECT_TRUE(stored) << "a fault that is there is stored, row " << k;
    } else if (stored) {
      ++storedOnly;
    }
  }
  EXPECT_GE(present, 1);
  EXPECT_GE(storedOnly, 1);
  // 'b', the counter block, 32 zeros: counters cleared, the faults that are there stay.
  Bytes clear{0x62, 0x62};
  clear.resize(34, 0);
  const Bytes answer = Unstuff(Bare(EscapedFrame(clear)));
  ASSERT_GE(answer.size(), 4u);
  EXPECT_EQ(Sum8(answer), 0);
  EXPECT_FALSE(answer[0] == 0x62 && answer[1] == 0x62 && answer[2] == 0x00)
      << "an answer that begins like the request reads as no answer";
  const Bytes cleared = January();
  EXPECT_EQ(Bytes(cleared.begin(), cleared.begin() + 4), Bytes(cells.begin(), cells.begin() + 4));
  EXPECT_TRUE(
      std::all_of(cleared.begin() + 4, cleared.end(), [](std::uint8_t c) { return c == 0; }));
  nowMs += 6000;
  const Bytes later = January();
  for (std::size_t k = 0; k < 32; ++k)
    EXPECT_EQ(later[4 + k] > 0x80, Bit(cells, 0, k)) << "stored again only if there, row " << k;
  clear.pop_back();
  EXPECT_TRUE(Bare(EscapedFrame(clear)).empty()) << "a counter block of 31 bytes";
}

TEST_F(RowMaps, GmStreamCarriesBothMapsAndModeTenClearsTheStoredOne) {
  Connect(5, kGmLine);
  const Bytes r = Bare(kGmRequest);
  ASSERT_GE(r.size(), 19u);
  int present = 0, stored = 0;
  for (std::size_t k = 0; k < 56; ++k) {
    // Row 8(byte - 5) + bit: present map from frame byte 5, stored map from byte 12.
    const bool p = Bit(r, 5, k), s = Bit(r, 12, k);
    if (p || s) {
      EXPECT_TRUE(RealFault(5, k)) << "row " << k;
    }
    if (p) {
      EXPECT_TRUE(s) << "a fault that is there is stored, row " << k;
    }
    present += p;
    stored += s;
  }
  EXPECT_GE(present, 1);
  EXPECT_GT(stored, present);
  const Bytes clear{0xF4, 0x56, 0x0A, 0xAC};
  EXPECT_EQ(Bare(clear), clear) << "answered with the mode alone";
  const Bytes after = Bare(kGmRequest);
  EXPECT_EQ(Bytes(after.begin() + 5, after.begin() + 12), Bytes(r.begin() + 5, r.begin() + 12));
  EXPECT_EQ(Bytes(after.begin() + 12, after.begin() + 19), Bytes(7, 0));
  nowMs += 6000;
  const Bytes later = Bare(kGmRequest);
  EXPECT_EQ(Bytes(later.begin() + 12, later.begin() + 19), Bytes(r.begin() + 5, r.begin() + 12))
      << "the faults still there are stored again";
}

}  // namespace
}  // namespace kd::sim::test
