// The car's generic OBD side as a scan tool meets it: functional ISO 14230 requests after a fast
// init, ISO 9141-2 requests after the 5-baud initialisation, and the answers of each mode.
#include "sim/obd_unit.h"

#include "sim_fixture.h"

namespace kd::sim::test {
namespace {

// C0 + n, target 33, F1, service, sum.
Bytes Functional(std::initializer_list<std::uint8_t> service) {
  Bytes f{static_cast<std::uint8_t>(0xC0 + service.size()), 0x33, 0xF1};
  f.insert(f.end(), service);
  f.push_back(Sum8(f));
  return f;
}

// 68 6A F1, service, sum.
Bytes Iso9141(std::initializer_list<std::uint8_t> service) {
  Bytes f{0x68, 0x6A, 0xF1};
  f.insert(f.end(), service);
  f.push_back(Sum8(f));
  return f;
}

// Splits a run of KWP2000 replies into their services, each checked by KwpService.
std::vector<Bytes> Services(const Bytes& line) {
  std::vector<Bytes> out;
  for (std::size_t at = 0; at + 4 <= line.size();) {
    const std::size_t length = line[at] - 0x80u;
    const Bytes one(
        line.begin() + static_cast<std::ptrdiff_t>(at),
        line.begin() + static_cast<std::ptrdiff_t>(std::min(line.size(), at + length + 4)));
    out.push_back(KwpService(one, 0x10));
    at += length + 4;
  }
  return out;
}

struct ObdUnitTest : SimFixture {
  Bytes Obd(std::initializer_list<std::uint8_t> service, std::uint8_t flags = 0) {
    const Bytes frame = Functional(service);
    return Send(Envelope(frame, flags), frame);
  }
  std::vector<Bytes> Iso(std::initializer_list<std::uint8_t> service) {
    const Bytes frame = Iso9141(service);
    const Bytes line = Send(Envelope(frame), frame);
    std::vector<Bytes> out;
    for (std::size_t at = 0; at < line.size(); at += 11) {
      // 48 6B 10, service, sum; multi-message answers come as 11-byte messages here.
      EXPECT_EQ(line[at], 0x48);
      EXPECT_EQ(line[at + 1], 0x6B);
      EXPECT_EQ(line[at + 2], 0x10);
      const std::size_t end = std::min(line.size(), at + 11);
      EXPECT_EQ(Sum8(line, at, end - 1), line[end - 1]);
      out.emplace_back(line.begin() + static_cast<std::ptrdiff_t>(at + 3),
                       line.begin() + static_cast<std::ptrdiff_t>(end - 1));
    }
    return out;
  }
  void Init() {
    const Bytes init{0x55, 0x56, 0x57, 0xAA, 0x46, 0xF7};
    port.Write(init.data(), init.size());
    ASSERT_EQ(ReadAll(), (Bytes{0xF7, 0xCC}));
  }
};

TEST_F(ObdUnitTest, FunctionalSessionNeedsTheFastInitAndLapsesWithoutRequests) {
  Connect(1, kKwpLine);
  EXPECT_TRUE(Obd({0x01, 0x00}).empty()) << "no session yet";
  EXPECT_TRUE(Obd({0x81}).empty()) << "asleep without the fast init";
  EXPECT_EQ(Services(Obd({0x81}, 0x80)), (std::vector<Bytes>{{0xC1, 0xEF, 0x8F}}));
  EXPECT_EQ(Services(Obd({0x01, 0x00})),
            (std::vector<Bytes>{{0x41, 0x00, 0xBE, 0x3F, 0xB8, 0x10}}));
  nowMs += 6000;
  EXPECT_TRUE(Obd({0x01, 0x00}).empty()) << "the session ran out";
  // The main window's controller hears nothing of it, nor the OBD side of physical requests.
  EXPECT_TRUE(Kwp(0x33, {0x81}, 0x80).empty());
}

TEST_F(ObdUnitTest, CurrentDataFreezeFrameAndOxygenSensorTests) {
  Connect(8, kKwpLine);
  Obd({0x81}, 0x80);
  const auto pid01 = Services(Obd({0x01, 0x01}));
  ASSERT_EQ(pid01.size(), 1u);
  EXPECT_EQ(pid01[0][2], 0x82) << "MIL and two stored codes";
  const auto rpm = Services(Obd({0x01, 0x0C}));
  ASSERT_EQ(rpm.size(), 1u);
  ASSERT_EQ(rpm[0].size(), 4u);
  const int quarterRpm = rpm[0][2] * 256 + rpm[0][3];
  EXPECT_GT(quarterRpm, 600 * 4);
  EXPECT_LT(quarterRpm, 1500 * 4);
  EXPECT_TRUE(Obd({0x01, 0x1F}).empty()) << "an unsupported PID is not answered";
  EXPECT_EQ(Services(Obd({0x02, 0x02, 0x00})),
            (std::vector<Bytes>{{0x42, 0x02, 0x00, 0x01, 0x71}}));
  EXPECT_TRUE(Obd({0x02, 0x02, 0x01}).empty()) << "one frame only";
  // Thresholds without limits (format 84), measured values with them (86).
  EXPECT_EQ(Obd({0x05, 0x01, 0x01}).at(0), 0x84);
  const auto test5 = Services(Obd({0x05, 0x05, 0x02}));
  EXPECT_EQ(test5, (std::vector<Bytes>{{0x45, 0x05, 0x02, 70, 0, 125}}));
}

TEST_F(ObdUnitTest, ClearRemovesCodesAndWhatIsStillThereComesBack) {
  Connect(1, kKwpLine);
  Obd({0x81}, 0x80);
  EXPECT_EQ(Services(Obd({0x03})),
            (std::vector<Bytes>{{0x43, 0x01, 0x71, 0x01, 0x33, 0x00, 0x00}}));
  EXPECT_EQ(Services(Obd({0x07})),
            (std::vector<Bytes>{{0x47, 0x03, 0x00, 0x04, 0x43, 0x00, 0x00}}));
  EXPECT_EQ(Services(Obd({0x04})), (std::vector<Bytes>{{0x44}}));
  EXPECT_EQ(Services(Obd({0x03})), (std::vector<Bytes>{{0x43, 0, 0, 0, 0, 0, 0}}));
  EXPECT_TRUE(Obd({0x02, 0x00, 0x00}).empty()) << "the freeze frame went with the codes";
  EXPECT_EQ(Services(Obd({0x01, 0x01}))[0][5], 0x65) << "monitors incomplete after a clear";
  nowMs += 4000;
  Obd({0x81}, 0x80);
  nowMs += 1000;
  EXPECT_EQ(Services(Obd({0x03})),
            (std::vector<Bytes>{{0x43, 0x01, 0x33, 0x00, 0x00, 0x00, 0x00}}));
  EXPECT_EQ(Services(Obd({0x07})),
            (std::vector<Bytes>{{0x47, 0x04, 0x43, 0x00, 0x00, 0x00, 0x00}}));
  EXPECT_EQ(Services(Obd({0x02, 0x02, 0x00})),
            (std::vector<Bytes>{{0x42, 0x02, 0x00, 0x01, 0x33}}));
}

TEST_F(ObdUnitTest, Iso9141LineAnswersAfterItsInitialisation) {
  Connect(1, kKwpLine);
  EXPECT_TRUE(Iso({0x01, 0x00}).empty()) << "the line was never initialised";
  Init();
  EXPECT_EQ(Iso({0x01, 0x00}), (std::vector<Bytes>{{0x41, 0x00, 0xBE, 0x3F, 0xB8, 0x10}}));
  // Vehicle information: five VIN messages, four of the calibration identifier.
  const auto vin = Iso({0x09, 0x02});
  ASSERT_EQ(vin.size(), 5u);
  std::string text(1, static_cast<char>(vin[0][6]));
  for (std::size_t k = 1; k < vin.size(); ++k) {
    EXPECT_EQ(vin[k][2], k + 1);
    text.append(vin[k].begin() + 3, vin[k].end());
  }
  EXPECT_EQ(text, ObdUnit::kVin);
  EXPECT_EQ(Iso({0x09, 0x06}), (std::vector<Bytes>{{0x49, 0x06, 0x01, 0x12, 0x34, 0x56, 0x78}}));
  nowMs += 6000;
  EXPECT_TRUE(Iso({0x01, 0x00}).empty()) << "idle too long: initialise again";
}

}  // namespace
}  // namespace kd::sim::test
