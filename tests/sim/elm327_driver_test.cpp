// The program's ELM327 driver against the simulated chip and car: the bytes the session reads
// through it are those the K-line adapter gives, for the genuine chip and the v1.5 clone.
#include <gtest/gtest.h>

#include "link/elm327_adapter.h"
#include "sim/elm327_sim.h"
#include "sim_fixture.h"

namespace kd::sim::test {
namespace {

struct ThroughElm : ::testing::TestWithParam<ElmClone> {
  SimulatedPort car{6};
  Elm327Sim chip{car, {GetParam(), 38400}};
  link::ManualLineClock clock;
  link::Elm327Adapter elm{chip, clock};

  void Open(std::uint32_t type) {
    car.SetEcuType(type);
    ASSERT_TRUE(elm.Open(2));
    ASSERT_TRUE(elm.ApplyLineSettings({115200, 'n', 8, 2}));
  }
  Bytes Exchange(const Bytes& written) {
    EXPECT_EQ(elm.Write(written.data(), written.size()), link::WriteStatus::Written);
    Bytes got(256);
    got.resize(elm.Read(got.data(), got.size()));
    return got;
  }
  // The reply behind the echo of `frame`.
  Bytes Reply(const Bytes& frame, std::uint8_t bits = 0) {
    Bytes env = Envelope(frame);
    env[4] |= bits;
    const Bytes got = Exchange(env);
    EXPECT_GE(got.size(), frame.size());
    if (got.size() < frame.size()) return {};
    EXPECT_EQ(Bytes(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(frame.size())), frame);
    return Bytes(got.begin() + static_cast<std::ptrdiff_t>(frame.size()), got.end());
  }
};

TEST_P(ThroughElm, AKwpControllerSessionReadsAsOnTheKLineAdapter) {
  for (std::uint32_t type : {6u, 2u, 8u, 11u}) {
    SCOPED_TRACE(type);
    Open(type);
    const std::uint8_t target = Target(type);
    const Bytes start = KwpRequest(target, {0x81});
    const Bytes c1 = Reply(start, 0x80);
    ASSERT_GE(c1.size(), 4u);
    EXPECT_EQ(c1[3], 0xC1);
    EXPECT_EQ(Sum8(Bytes(c1.begin(), c1.end() - 1)), c1.back()) << "header and checksum kept";
    const Bytes data = Reply(KwpRequest(target, {0x21, 0x01}));
    ASSERT_GE(data.size(), 5u);
    EXPECT_EQ(data[1], 0xF1);
    EXPECT_EQ(data[2], target);
    const std::size_t sid = data[0] == 0x80 ? 4 : 3;
    EXPECT_EQ(data[sid], 0x61);
    EXPECT_EQ(elm.LastCondition(), link::elm::Condition::Ok);
    car.SetFault(Fault::Silence);
    EXPECT_TRUE(Reply(KwpRequest(target, {0x21, 0x01})).empty()) << "the echo alone";
    EXPECT_EQ(elm.LastCondition(), link::elm::Condition::NoData);
    car.ClearFault(Fault::Silence);
  }
}

TEST_P(ThroughElm, BothGenericObdLinesComeUp) {
  Open(6);
  // ISO 14230: the EOBD window's functional StartCommunication, then mode 01.
  const Bytes start = {0xC1, 0x33, 0xF1, 0x81, 0x66};
  const Bytes c1 = Reply(start, 0x80);
  ASSERT_GE(c1.size(), 4u);
  EXPECT_EQ(c1[3], 0xC1);
  const Bytes pids = Reply({0xC2, 0x33, 0xF1, 0x01, 0x00, 0xE7});
  ASSERT_GE(pids.size(), 9u);
  EXPECT_EQ(pids[3], 0x41);
  // ISO 9141: the init packet, then mode 01 under the 68 6A F1 header.
  const Bytes init{0x55, 0x56, 0x57, 0xAA, 0x46, 0xF7};
  const Bytes closing = Exchange(init);
  ASSERT_FALSE(closing.empty());
  EXPECT_EQ(closing.front(), 0xF7);
  const Bytes iso = Reply({0x68, 0x6A, 0xF1, 0x01, 0x00, 0xC4});
  ASSERT_GE(iso.size(), 10u);
  EXPECT_EQ(Bytes(iso.begin(), iso.begin() + 5), (Bytes{0x48, 0x6B, 0x10, 0x41, 0x00}));
}

INSTANTIATE_TEST_SUITE_P(Chips, ThroughElm, ::testing::Values(ElmClone::Genuine, ElmClone::V15));

}  // namespace
}  // namespace kd::sim::test

namespace kd::sim::test {
namespace {

struct CanThroughElm : ::testing::TestWithParam<ObdBus> {
  SimulatedPort car{6};
  Elm327Sim chip{car, {ElmClone::Genuine, 38400, GetParam()}};
  link::ManualLineClock clock;
  link::Elm327Adapter elm{chip, clock};

  Bytes Reply(const Bytes& frame, std::uint8_t bits = 0) {
    Bytes env = Envelope(frame);
    env[4] |= bits;
    EXPECT_EQ(elm.Write(env.data(), env.size()), link::WriteStatus::Written);
    Bytes got(256);
    got.resize(elm.Read(got.data(), got.size()));
    EXPECT_GE(got.size(), frame.size());
    if (got.size() < frame.size()) return {};
    return Bytes(got.begin() + static_cast<std::ptrdiff_t>(frame.size()), got.end());
  }
  static Bytes Obd(const Bytes& service) {
    Bytes f{static_cast<std::uint8_t>(0xC0 | service.size()), 0x33, 0xF1};
    f.insert(f.end(), service.begin(), service.end());
    f.push_back(Sum8(f));
    return f;
  }
};

TEST_P(CanThroughElm, TheEobdWindowsRequestsFindTheCanCarAndReadAsOnTheKLine) {
  ASSERT_TRUE(elm.Open(2));
  ASSERT_TRUE(elm.ApplyLineSettings({115200, 'n', 8, 2}));
  EXPECT_TRUE(Reply(Obd({0x81}), 0x80).empty()) << "StartCommunication: the echo alone";
  EXPECT_EQ(elm.ObdProtocol(), GetParam() == ObdBus::Can11 ? 6 : 7);
  EXPECT_EQ(elm.ObdProtocolName(), GetParam() == ObdBus::Can11
                                       ? "ISO 15765-4 CAN, 11 бит, 500 кбит/с"
                                       : "ISO 15765-4 CAN, 29 бит, 500 кбит/с");
  const Bytes pids = Reply(Obd({0x01, 0x00}));
  EXPECT_EQ(pids, (Bytes{0x86, 0xF1, 0x10, 0x41, 0x00, 0xBE, 0x3F, 0xB8, 0x10, 0x8D}))
      << "the engine controller's bitmap in a K-line frame";
  // Seven codes of two units, three a message, the front message in turn.
  std::vector<std::uint16_t> seen;
  for (int i = 0; i < 3; ++i) {
    const Bytes codes = Reply(Obd({0x03}));
    ASSERT_EQ(codes.size(), 3u * 11);
    for (std::size_t at = 4; at < 10; at += 2)
      if (const auto c = static_cast<std::uint16_t>(codes[at] << 8 | codes[at + 1]); c != 0)
        seen.push_back(c);
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen,
            (std::vector<std::uint16_t>{0x0102, 0x0133, 0x0171, 0x0201, 0x0301, 0x0335, 0x0500}));
  EXPECT_EQ(Reply(Obd({0x09, 0x01})).at(5), 0x05);
  const Bytes vin = Reply(Obd({0x09, 0x02}));
  ASSERT_EQ(vin.size(), 55u);
  std::string text(1, static_cast<char>(vin[9]));
  for (std::size_t k = 1; k < 5; ++k)
    for (std::size_t j = 0; j < 4; ++j) text += static_cast<char>(vin[11 * k + 6 + j]);
  EXPECT_EQ(text, ObdUnit::kVin);
  EXPECT_TRUE(Reply(Obd({0x05, 0x00, 0x01})).empty()) << "no mode 05 on CAN";
  EXPECT_EQ(Reply(Obd({0x04})).at(3), 0x44);
  // The main window's controller is still on the K-line.
  const Bytes c1 = Reply(KwpRequest(0x10, {0x81}), 0x80);
  ASSERT_GE(c1.size(), 4u);
  EXPECT_EQ(c1[3], 0xC1);
  EXPECT_EQ(Reply(Obd({0x01, 0x0D})).at(3), 0x41) << "and the window's CAN protocol is kept";
}

INSTANTIATE_TEST_SUITE_P(Buses, CanThroughElm, ::testing::Values(ObdBus::Can11, ObdBus::Can29));

}  // namespace
}  // namespace kd::sim::test
