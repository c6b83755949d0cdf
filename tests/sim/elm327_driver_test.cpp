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
  std::int64_t now = 0;
  link::Elm327Adapter elm{chip, [this] { return now += 1; }};

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
